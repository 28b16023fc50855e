// What the shared plug-in entry asks of the Phidget plug-in.
#include "phidget_bridge.h"
#include "phidget_channel_data.h"
#include "phidget_channel_inspector.h"
#include "phidget_controllers.h"

#include <DevicePluginTraits.h>
#include <LMLog.h>
#include <NodeRegistration.h>

namespace {
const DefaultQtFormatSetter s_formatSetter;

void fillRegistry(NodeTypeRegistry &registry, const HostCallbacks &callbacks)
{
    // The channel data type first: its factory, its colour, then its widget factory.
    registry.dataFactories.insert(
        kPhidgetChannelDataTypeId, []() -> ANodeData * { return new PhidgetChannelData(); });
    registry.dataColors.insert(kPhidgetChannelDataTypeId, deviceNodeColor());
    // The inspector keeps the host's callable rather than a show: it resolves devices in the
    // show that is current each time it looks.
    registry.dataWidgetFactories.insert(kPhidgetChannelDataTypeId,
        [currentShow = callbacks.currentShow](QWidget *parent) -> INodeDataWidget * {
            return new PhidgetChannelInspector(currentShow, parent);
        });

    registerController<PhidgetDigitalOutputController>(registry,
        PhidgetDigitalOutputController::s_controllerType, "Phidget Digital Output",
        "Devices/Phidgets");
    registerController<PhidgetDigitalInputController>(registry,
        PhidgetDigitalInputController::s_controllerType, "Phidget Digital Input",
        "Devices/Phidgets");
    registerController<PhidgetEncoderController>(registry,
        PhidgetEncoderController::s_controllerType, "Phidget Encoder Input", "Devices/Phidgets");
}
} // namespace

const DevicePlugin::Traits &DevicePlugin::traits()
{
    static const Traits traits {PhidgetDevice::s_typeName, QStringLiteral("Phidget"),
        QStringLiteral(":/images/DV_DevicePhidgets.svg"), newDevice<PhidgetDevice>, fillRegistry};
    return traits;
}
