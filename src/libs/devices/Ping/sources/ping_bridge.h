#pragma once

#include <Device.h>

#include <QByteArray>
#include <QString>
#include <QThread>
#include <QUuid>

class PingWorker;
class QDomElement;
class QWidget;
class UserScreenWidget;
class XmlWriter;

// A host probed periodically with the system's ping command. The result is kept here,
// shared with the device's copies on the other instances, and signalled to the
// "Ping status" nodes and the user-screen widget.
class PingDevice : public Device
{
    Q_OBJECT
    // For a host that runs on virtual time and waits for what the device's own threads
    // will still report: 1 from init() until the first probe's result has arrived.
    Q_PROPERTY(int pendingResults READ pendingResults)

public:
    explicit PingDevice(bool param);
    ~PingDevice() override;

    static const QString s_typeName;
    static const QUuid s_fullStateMessageType;
    static const QUuid s_changeMessageType;

    QByteArray encodeSyncRuntimeMessage() override;
    void decodeRuntimeMessage(
        const LiveUpdateMessageType &type, const QByteArray &payload) override;
    void readDom(const QDomElement &element) override;
    void writeXml(XmlWriter &writer) override;
    void init() override;
    bool showSetupDialog(QWidget *parent) override;
    UserScreenWidget *getWidget(QWidget *parent) override;

    int pendingResults() const { return m_awaitingFirstResult ? 1 : 0; }

    // Records one result, local or received from the master, and passes it on.
    void onReachabilityChangedSync(bool reachable);

    // Public on purpose: the "Ping status" node and the user-screen widget read reachable and
    // hasStatus directly. All four live in the host thread; the worker keeps its own copies.
    QString host;
    int intervalSec = 60;
    bool reachable = false;
    bool hasStatus = false;

signals:
    void reachabilityChanged(bool reachable);

private:
    void stopWorker();

    PingWorker *m_worker = nullptr; // deleted when m_thread ends
    QThread m_thread;
    // Results still queued from a replaced worker carry an older generation.
    quint64 m_generation = 0;
    // Host thread only, as the results are delivered there.
    bool m_awaitingFirstResult = false;
};
