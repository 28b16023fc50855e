#pragma once

#include "phidget_config.h"

#include <Device.h>

#include <QString>

#include <cstdint>
#include <memory>

class QDomElement;
class QWidget;
class Show;
class XmlWriter;

// One Phidget board as the show sees it: reached through a Phidget network server on
// the producer or on a media server, with its configured channels. Lives on the host's
// thread; its signals are emitted on Phidget22's threads (connect them queued).
class PhidgetDevice : public Device
{
    Q_OBJECT

public:
    // Declared in phidget_runtime_p.h, for the plug-in's node controllers and its tests.
    class Runtime;

    static const QString s_typeName;

    explicit PhidgetDevice(bool param);
    ~PhidgetDevice() override;

    void readDom(const QDomElement &element) override;
    void writeXml(XmlWriter &writer) override;
    // Replaces the runtime: the old one is torn down completely before the new one starts.
    void init() override;
    bool showSetupDialog(QWidget *parent) override;
    bool isActiveOnMasterOnly() const override;

    const PhidgetDeviceConfig &config() const { return m_config; }
    // Takes effect at the next init().
    void setConfig(const PhidgetDeviceConfig &config) { m_config = config; }
    // Null until the first init().
    const Runtime *runtime() const { return m_runtime.get(); }

    // Whether the instance of `show` is the one whose machine has the board: the
    // producer for media server 0, else the media server of that id. False without a show.
    static bool isHostingInstance(const Show *show, int32_t mediaServerId);

signals:
    void digitalInputChanged(int channelId, bool state);
    void encoderPositionChanged(int channelId, int64_t position, int positionChange);
    void channelDetached(int channelId);

private:
    // Both belong to the host's thread; the handlers reach the device only through the
    // context registry and never read these.
    std::unique_ptr<Runtime> m_runtime;
    PhidgetDeviceConfig m_config;
};
