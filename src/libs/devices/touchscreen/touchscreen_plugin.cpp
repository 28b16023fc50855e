// What the shared plug-in entry asks of the touch screen plug-in.
#include "touchscreen_controllers.h"
#include "touchscreen_device.h"

#include <DevicePluginTraits.h>
#include <NodeRegistration.h>

namespace {
void fillRegistry(NodeTypeRegistry &registry, const HostCallbacks &)
{
    registerController<OnTouchController>(
        registry, OnTouchController::s_controllerType, "On Touch", "Devices/TouchScreen");
    registerController<OnTouchZoneController>(
        registry, OnTouchZoneController::s_controllerType, "On Touch Zone", "Devices/TouchScreen");
}
} // namespace

const DevicePlugin::Traits &DevicePlugin::traits()
{
    static const Traits traits {TouchScreenDevice::s_typeName, QStringLiteral("Touch Screen"),
        QStringLiteral(":/images/DV_DeviceTouchScreenNormal.svg"), newDevice<TouchScreenDevice>,
        fillRegistry};
    return traits;
}
