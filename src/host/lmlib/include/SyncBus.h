#pragma once

#include "Device.h"
#include "lmlib_global.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>

class Show;

// Joins the show copies of several host instances in one process, routed as a star
// around the master, as the host's sync channel is: a message that a device on the
// master sends reaches the device of the same type name and number in every other
// instance; a message sent on any other instance reaches the master alone (every
// instance marked master, should there be several). Devices that want a message of
// a non-master instance to reach the rest relay it on the master. A non-master's
// message is dropped, with a warning, while no master is attached. Delivery is
// queued on the receiving instance's thread, in sending order.
class LMLIB_EXPORT SyncBus : public QObject
{
    Q_OBJECT
public:
    explicit SyncBus(QObject *parent = nullptr);
    ~SyncBus() override;

    void attach(Show *show);
    void detach(Show *show);
    QList<Show *> shows() const;

    // Returns the number of instances the message was queued for.
    int send(const Device &sender, const QByteArray &message);
    // Sends the full state of every device of `from` (encodeSyncRuntimeMessage,
    // header removed), routed like send(), as a late-joining instance gets it from
    // the master.
    int sendFullState(Show *from);

    // Splits "{type}*payload". False when the type is not a braced QUuid followed by "*".
    static bool splitMessage(
        const QByteArray &message, LiveUpdateMessageType *type, QByteArray *payload);

signals:
    // For tracing: one message as it leaves its instance.
    void messageSent(const QString &instanceName, const QString &deviceType, int deviceNumber,
        const QByteArray &message);

private:
    int deliver(const Show *from, const QString &typeName, int number, const QByteArray &message);

    QList<QPointer<Show>> m_shows;
};
