// What the shared plug-in entry asks of the ping plug-in.
#include "ping_bridge.h"
#include "ping_controller.h"

#include <DevicePluginTraits.h>
#include <LMLog.h>
#include <NodeRegistration.h>

namespace {
const DefaultQtFormatSetter s_formatSetter;

void fillRegistry(NodeTypeRegistry &registry, const HostCallbacks &)
{
    registerController<PingController>(
        registry, PingController::s_controllerType, "Ping status", "Devices/Ping");
}
} // namespace

const DevicePlugin::Traits &DevicePlugin::traits()
{
    static const Traits traits {PingDevice::s_typeName, QStringLiteral("Ping"),
        QStringLiteral(":/images/DV_DevicePingNormal.svg"), newDevice<PingDevice>, fillRegistry};
    return traits;
}
