#pragma once

#include "NodeTypeRegistry.h"
#include "lmlib_global.h"

#include <QIcon>
#include <QString>
#include <QtPlugin>

class Device;

// What the host obtains from every device plug-in.
class LMLIB_EXPORT DeviceFactoryInterface
{
public:
    virtual ~DeviceFactoryInterface();
    // A new device owned by the caller; onMaster goes to the Device constructor.
    virtual Device *createDevice(bool onMaster) = 0;
    virtual QString deviceType() const = 0;
    virtual QString deviceDisplayName() const = 0;
    virtual QIcon deviceIcon() const = 0;
    virtual bool isTimecodeDevice() const;
    // The plug-in's node types; valid until the plug-in is unloaded.
    virtual const NodeTypeRegistry &nodeTypeRegistry(const HostCallbacks &callbacks) = 0;
};

#define DeviceFactoryInterface_iid "com.KORVANMEDIA.Lumora.Device/1.0"
Q_DECLARE_INTERFACE(DeviceFactoryInterface, DeviceFactoryInterface_iid)
