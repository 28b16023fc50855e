#include "PluginInterface.h"

#include "DevicePluginTraits.h"

PluginInterface::PluginInterface() = default;

PluginInterface::~PluginInterface() = default;

Device *PluginInterface::createDevice(bool onMaster)
{
    return DevicePlugin::createDevice(onMaster);
}

QString PluginInterface::deviceType() const
{
    return DevicePlugin::deviceType();
}

QString PluginInterface::deviceDisplayName() const
{
    return DevicePlugin::deviceDisplayName();
}

QIcon PluginInterface::deviceIcon() const
{
    static const QIcon icon(DevicePlugin::deviceIconPath());
    return icon;
}

const NodeTypeRegistry &PluginInterface::nodeTypeRegistry(const HostCallbacks &callbacks)
{
    // Filled on the first call (thread-safe static initialisation); lives until the
    // library is unloaded.
    static const NodeTypeRegistry registry = [&callbacks] {
        NodeTypeRegistry r;
        DevicePlugin::fillNodeTypeRegistry(r, callbacks);
        return r;
    }();
    return registry;
}
