#pragma once

#include "phidget_bridge.h"
#include "phidget_channel_data.h"

#include <LMLog.h>
#include <host_instances.h>
#include <phidget22_sim.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <mutex>

// The shared host instances, producer and media servers 1..mediaServers; every instance knows
// media server 1.
struct PhidgetInstances : HostInstances
{
    explicit PhidgetInstances(int mediaServers = 0)
        : HostInstances(mediaServers)
    {
        for (const auto &show : shows)
            show->addMediaServer(std::make_unique<Screen>(1, QStringLiteral("MS1"), "127.0.0.2"));
    }
};

inline PhidgetDevice *addPhidgetDevice(
    Show &show, int number, const PhidgetDeviceConfig &config, const QString &name = "Board")
{
    return HostInstances::addDevice<PhidgetDevice>(show, number, [&](PhidgetDevice &device) {
        device.setName(name);
        device.setConfig(config);
    });
}

inline LM_PhidgetChannel phidgetChannel(
    LM_PhidgetChannelType type, int channelNumber, int hubPort = -1, bool vint = false)
{
    return {QStringLiteral("ch%1").arg(channelNumber), hubPort, channelNumber, vint, type};
}

// A node whose "Channel" designates (device, channel id), bound.
template<class Controller>
Controller *addChannelNode(Show &show, int deviceNumber, int channelId)
{
    auto *controller = HostInstances::addNode<Controller>(show);
    auto *channel = controller->template propertyData<PhidgetChannelData>(0);
    channel->device = DeviceDescriptorData(PhidgetDevice::s_typeName, deviceNumber);
    channel->channelID = channelId;
    controller->onPropertyChanged(0);
    return controller;
}

// The stand-in's call log: calls of these names (all when empty), or only their names.
inline QStringList simCalls(const QStringList &names = {}, bool namesOnly = false)
{
    QByteArray text(lmsim_phidget_log_text(nullptr, 0) + 1, '\0');
    lmsim_phidget_log_text(text.data(), int(text.size()));
    QStringList calls;
    for (const QString &line :
        QString::fromUtf8(text.constData()).split('\n', Qt::SkipEmptyParts)) {
        const QString name = line.section('(', 0, 0);
        if (names.isEmpty() || names.contains(name))
            calls << (namesOnly ? name : line);
    }
    return calls;
}

// What the stand-in has queued, then what Qt has queued for this thread.
inline void deliverEvents()
{
    QCOMPARE(lmsim_phidget_wait_idle(5000), int(EPHIDGET_OK));
    QCoreApplication::sendPostedEvents();
}

inline void setLogMode(lmlog::logMode mode)
{
    static QTemporaryDir dir;
    LMLog(dir.filePath(QStringLiteral("test.log")), 1 << 20).setMode(mode); // process-wide
}

// The Qt messages of its lifetime, info enabled, without the attach and detach lines (which
// come whenever the stand-in gets to them).
class MessageCapture
{
public:
    MessageCapture()
    {
        setLogMode(lmlog::Encodage);
        const std::lock_guard<std::mutex> lock(s_mutex);
        s_messages.clear();
        s_previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &text) {
                const std::lock_guard<std::mutex> lock(s_mutex);
                if (!text.startsWith("[PHIDGET] Channel "))
                    s_messages.append({type, text});
            });
    }
    ~MessageCapture() { qInstallMessageHandler(s_previous); }

    QStringList texts(QList<QtMsgType> *types = nullptr) const
    {
        const std::lock_guard<std::mutex> lock(s_mutex);
        QStringList texts;
        for (const auto &[type, text] : s_messages) {
            texts << text;
            if (types)
                *types << type;
        }
        return texts;
    }
    // "[PHIDGET] <call> failed. Error <code>: <description>"
    static QString failure(const char *call, PhidgetReturnCode code)
    {
        const char *description = "";
        Phidget_getErrorDescription(code, &description);
        return QStringLiteral("[PHIDGET] %1 failed. Error %2: %3")
            .arg(call)
            .arg(code)
            .arg(description);
    }

private:
    static inline std::mutex s_mutex;
    static inline QList<QPair<QtMsgType, QString>> s_messages;
    static inline QtMessageHandler s_previous = nullptr;
};
