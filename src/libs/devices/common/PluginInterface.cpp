#include "PluginInterface.h"

#include "DevicePluginTraits.h"

PluginInterface::PluginInterface() = default;

PluginInterface::~PluginInterface() = default;

Device *PluginInterface::createDevice(bool onMaster)
{
    return DevicePlugin::traits().create(onMaster);
}

QString PluginInterface::deviceType() const
{
    return DevicePlugin::traits().type;
}

QString PluginInterface::deviceDisplayName() const
{
    return DevicePlugin::traits().displayName;
}

QIcon PluginInterface::deviceIcon() const
{
    static const QIcon icon(DevicePlugin::traits().iconPath);
    return icon;
}

const NodeTypeRegistry &PluginInterface::nodeTypeRegistry(const HostCallbacks &callbacks)
{
    // Filled on the first call (thread-safe static initialisation); lives until the
    // library is unloaded.
    static const NodeTypeRegistry registry = [&callbacks] {
        NodeTypeRegistry r;
        DevicePlugin::traits().fillRegistry(r, callbacks);
        return r;
    }();
    return registry;
}
