#pragma once

#include "DeviceFactoryInterface.h"

#include <QObject>

// The plug-in's key; lm_add_device_plugin defines it (IID argument).
#ifndef LM_DEVICE_PLUGIN_IID
#error "LM_DEVICE_PLUGIN_IID is not defined: build the plug-in with lm_add_device_plugin"
#endif

// The single object that a device plug-in exports: the factory of its devices and
// the source of its node types. It holds no data; what differs between plug-ins
// comes from DevicePluginTraits.h.
class PluginInterface : public QObject, public DeviceFactoryInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID LM_DEVICE_PLUGIN_IID)
    Q_INTERFACES(DeviceFactoryInterface)
public:
    PluginInterface();
    ~PluginInterface() override;

    Device *createDevice(bool onMaster) override;
    QString deviceType() const override;
    QString deviceDisplayName() const override;
    QIcon deviceIcon() const override;
    const NodeTypeRegistry &nodeTypeRegistry(const HostCallbacks &callbacks) override;
};
