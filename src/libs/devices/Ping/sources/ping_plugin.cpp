// What the shared plug-in entry asks of the ping plug-in.
#include "ping_bridge.h"
#include "ping_controller.h"

#include <DevicePluginTraits.h>
#include <LMLog.h>
#include <NodeRegistration.h>

namespace {
const DefaultQtFormatSetter s_formatSetter;
}

namespace DevicePlugin {

Device *createDevice(bool onMaster)
{
    return new PingDevice(onMaster);
}

QString deviceType()
{
    return PingDevice::s_typeName;
}

QString deviceDisplayName()
{
    return QStringLiteral("Ping");
}

QString deviceIconPath()
{
    return QStringLiteral(":/images/DV_DevicePingNormal.svg");
}

void fillNodeTypeRegistry(NodeTypeRegistry &registry, const HostCallbacks &)
{
    registerController<PingController>(
        registry, PingController::s_controllerType, "Ping status", "Devices/Ping");
}

} // namespace DevicePlugin
