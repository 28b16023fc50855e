// What the shared plug-in entry asks of the touch screen plug-in.
#include "touchscreen_controllers.h"
#include "touchscreen_device.h"

#include <DevicePluginTraits.h>
#include <NodeRegistration.h>

namespace DevicePlugin {

Device *createDevice(bool onMaster)
{
    return new TouchScreenDevice(onMaster);
}

QString deviceType()
{
    return TouchScreenDevice::s_typeName;
}

QString deviceDisplayName()
{
    return QStringLiteral("Touch Screen");
}

QString deviceIconPath()
{
    return QStringLiteral(":/images/DV_DeviceTouchScreenNormal.svg");
}

void fillNodeTypeRegistry(NodeTypeRegistry &registry, const HostCallbacks &)
{
    registerController<OnTouchController>(
        registry, OnTouchController::s_controllerType, "On Touch", "Devices/TouchScreen");
    registerController<OnTouchZoneController>(
        registry, OnTouchZoneController::s_controllerType, "On Touch Zone", "Devices/TouchScreen");
}

} // namespace DevicePlugin
