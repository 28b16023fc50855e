#pragma once

#include "NodeTypeRegistry.h"

#include <QString>

class Device;

// What each device plug-in supplies to the shared entry (PluginInterface).
// Every plug-in defines these once, in its own sources.
namespace DevicePlugin {
// A new device of the plug-in's class; the host owns it.
Device *createDevice(bool onMaster);
QString deviceType();
QString deviceDisplayName();
// The resource path of the device icon, e.g. ":/images/DV_DevicePingNormal.svg".
QString deviceIconPath();
// Fills the plug-in's registry; called once, on the host's first request.
void fillNodeTypeRegistry(NodeTypeRegistry &registry, const HostCallbacks &callbacks);
} // namespace DevicePlugin
