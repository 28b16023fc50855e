#pragma once

#include <IShowNodeController.h>
#include <NodeData.h>
#include <Show.h>

#include <QString>

#include <memory>

// For a node that follows one device of the show, chosen by its property 0, "Device".

// The "Device" property: a descriptor of a device of `deviceType`, none chosen yet.
inline PropertySlotDescriptors devicePropertySlots(const QString &deviceType)
{
    return {{"Device", kDeviceDescriptorDataTypeId, 0,
        std::make_shared<DeviceDescriptorData>(deviceType), 0}};
}

// The device that the node's "Device" property designates in the node's show, as D; null
// when the node has no show, the show no such device, or the device is of another class.
template<class D>
D *designatedDevice(const IShowNodeController &node)
{
    const auto *descriptor = node.propertyData<DeviceDescriptorData>(0);
    const Show *show = node.getOwnerShow();
    return descriptor && show ? qobject_cast<D *>(show->resolveDevice(*descriptor)) : nullptr;
}
