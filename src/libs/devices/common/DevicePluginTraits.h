#pragma once

#include "NodeTypeRegistry.h"

#include <QString>

class Device;

// What each device plug-in supplies to the shared entry (PluginInterface).
namespace DevicePlugin {
struct Traits
{
    QString type;
    QString displayName;
    // The resource path of the device icon, e.g. ":/images/DV_DevicePingNormal.svg".
    QString iconPath;
    // A new device of the plug-in's class; the host owns it.
    Device *(*create)(bool onMaster);
    // Fills the plug-in's registry; called once, on the host's first request.
    void (*fillRegistry)(NodeTypeRegistry &registry, const HostCallbacks &callbacks);
};

// Every plug-in defines this once, in its own sources.
const Traits &traits();

template<class D>
Device *newDevice(bool onMaster)
{
    return new D(onMaster);
}
} // namespace DevicePlugin
