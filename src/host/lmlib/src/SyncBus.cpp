#include "SyncBus.h"

#include "Show.h"

#include <LMLog.h>

SyncBus::SyncBus(QObject *parent)
    : QObject(parent)
{ }

SyncBus::~SyncBus()
{
    for (const QPointer<Show> &show : std::as_const(m_shows)) {
        if (show)
            show->setSyncBus(nullptr);
    }
}

void SyncBus::attach(Show *show)
{
    if (!show || m_shows.contains(show))
        return;
    m_shows.append(show);
    show->setSyncBus(this);
}

void SyncBus::detach(Show *show)
{
    m_shows.removeAll(show);
    if (show && show->syncBus() == this)
        show->setSyncBus(nullptr);
}

QList<Show *> SyncBus::shows() const
{
    QList<Show *> list;
    for (const QPointer<Show> &show : m_shows) {
        if (show)
            list.append(show);
    }
    return list;
}

bool SyncBus::splitMessage(
    const QByteArray &message, LiveUpdateMessageType *type, QByteArray *payload)
{
    const int star = message.indexOf('*');
    if (star < 0)
        return false;
    const QByteArray typeText = message.left(star);
    if (!typeText.startsWith('{') || !typeText.endsWith('}'))
        return false;
    const QUuid parsed = QUuid::fromString(QLatin1String(typeText));
    if (parsed.isNull())
        return false;
    *type = parsed;
    *payload = message.mid(star + 1);
    return true;
}

int SyncBus::send(const Device &sender, const QByteArray &message)
{
    const Show *from = sender.show();
    emit messageSent(
        from ? from->instanceName() : QString(), sender.typeName(), sender.deviceNumber(), message);
    return deliver(from, sender.typeName(), sender.deviceNumber(), message);
}

int SyncBus::sendFullState(Show *from)
{
    int queued = 0;
    if (!from)
        return queued;
    for (Device *device : from->allDevices()) {
        const QByteArray state = device->encodeSyncRuntimeMessage();
        if (state.isEmpty())
            continue;
        const QByteArray header = device->encodeRuntimeMessageHeader() + '*';
        if (!state.startsWith(header)) {
            if (LMLog::modeContains(LOG::WARNING)) {
                qCWarning(LMLog::s_lmLogCat).noquote()
                    << "[LMLIB] full state of" << device->typeName() << device->deviceNumber()
                    << "does not begin with its runtime message header; dropped";
            }
            continue;
        }
        const QByteArray message = state.mid(header.size());
        emit messageSent(from->instanceName(), device->typeName(), device->deviceNumber(), message);
        queued += deliver(from, device->typeName(), device->deviceNumber(), message);
    }
    return queued;
}

int SyncBus::deliver(
    const Show *from, const QString &typeName, int number, const QByteArray &message)
{
    LiveUpdateMessageType type;
    QByteArray payload;
    if (!splitMessage(message, &type, &payload)) {
        if (LMLog::modeContains(LOG::WARNING)) {
            qCWarning(LMLog::s_lmLogCat).noquote()
                << "[LMLIB] sync message of" << typeName << number
                << "has no braced type before \"*\"; dropped:" << message.left(80);
        }
        return 0;
    }
    // A star around the master: only the master's messages fan out. A sender outside
    // every instance (no show) keeps the fan-out, there being no star to place it in.
    const bool toEveryone = !from || from->isMaster();
    int queued = 0;
    bool masterSeen = false;
    for (const QPointer<Show> &show : std::as_const(m_shows)) {
        if (!show || show == from)
            continue;
        if (!toEveryone) {
            if (!show->isMaster())
                continue;
            masterSeen = true;
        }
        QPointer<Device> target = show->findDevice(typeName, number);
        if (!target)
            continue;
        // Queued with the show as context: runs on that instance's thread, in order.
        QMetaObject::invokeMethod(
            show,
            [target, type, payload] {
                if (target)
                    target->decodeRuntimeMessage(type, payload);
            },
            Qt::QueuedConnection);
        ++queued;
    }
    if (!toEveryone && !masterSeen && LMLog::modeContains(LOG::WARNING)) {
        qCWarning(LMLog::s_lmLogCat).noquote()
            << "[LMLIB] sync message of" << typeName << number << "from" << from->instanceName()
            << "has no master instance to go to; dropped";
    }
    return queued;
}
