#include "ping_bridge.h"

#include "ping_device_setup.h"
#include "ping_device_widget.h"
#include "ping_worker.h"

#include <LMLog.h>
#include <XmlWriter.h>

#include <QDomElement>

namespace {
const int kDomNameKey = 1;

QByteArray flag(bool value)
{
    return value ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
}

bool flagField(const QByteArray &field)
{
    return field.toInt() != 0;
}
} // namespace

const QString PingDevice::s_typeName = QStringLiteral("Ping");
const QUuid PingDevice::s_fullStateMessageType(
    QStringLiteral("dafbca35-c182-4a58-a340-c2544e614c2c"));
const QUuid PingDevice::s_changeMessageType(QStringLiteral("b3e9f4a1-7c2d-4b8e-a5f0-1d6e3c9b2a7f"));

PingDevice::PingDevice(bool param)
    : Device(param)
{
    // Names the thread for debuggers and process listings.
    m_thread.setObjectName(QStringLiteral("PingWorker"));
    m_typeName = s_typeName;
    m_deviceNumber = 0;
    m_name.clear();
}

PingDevice::~PingDevice()
{
    stopWorker();
}

QByteArray PingDevice::encodeSyncRuntimeMessage()
{
    return encodeRuntimeMessageHeader() + '*' + s_fullStateMessageType.toByteArray() + '*'
        + flag(hasStatus) + '*' + flag(reachable);
}

void PingDevice::decodeRuntimeMessage(const LiveUpdateMessageType &type, const QByteArray &payload)
{
    const QList<QByteArray> fields = payload.split('*');
    if (type == s_fullStateMessageType) {
        if (fields.size() < 2)
            return;
        hasStatus = flagField(fields.at(0));
        reachable = flagField(fields.at(1));
        emit reachabilityChanged(reachable);
    } else if (type == s_changeMessageType) {
        onReachabilityChangedSync(flagField(fields.at(0)));
    }
}

void PingDevice::readDom(const QDomElement &element)
{
    readDomBase(element, kDomNameKey);
    host = element.attribute(QStringLiteral("host"));
    intervalSec = element.attribute(QStringLiteral("intervalSec"), QStringLiteral("60")).toInt();
}

void PingDevice::writeXml(XmlWriter &writer)
{
    XMLNodeBaseBegin(writer, kDomNameKey);
    writer.attribute(QStringLiteral("host"), host);
    writer.attribute(QStringLiteral("intervalSec"), intervalSec);
    XMLNodeBaseEnd(writer);
}

void PingDevice::stopWorker()
{
    m_thread.quit();
    m_thread.wait();
    m_worker = nullptr;
    ++m_generation;
    m_awaitingFirstResult = false;
}

void PingDevice::init()
{
    stopWorker();

    if (host.isEmpty()) {
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote()
                << QStringLiteral("[PING] No host configured — not starting");
        return;
    }
    if (LMLog::modeContains(LOG::INFO))
        qCInfo(LMLog::s_lmLogCat).noquote()
            << QStringLiteral("[PING] Starting — host=%1, interval=%2s")
                   .arg(host, QString::number(intervalSec));

    m_worker = new PingWorker(host, intervalSec);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(&m_thread, &QThread::started, m_worker, &PingWorker::init);
    const quint64 generation = m_generation;
    connect(
        m_worker, &PingWorker::reachabilityChanged, this,
        [this, generation](bool result) {
            if (generation != m_generation)
                return;
            m_awaitingFirstResult = false;
            onReachabilityChangedSync(result);
        },
        Qt::QueuedConnection);
    m_awaitingFirstResult = true;
    m_thread.start(QThread::InheritPriority);
}

void PingDevice::onReachabilityChangedSync(bool result)
{
    if (LMLog::modeContains(LOG::INFO))
        qCInfo(LMLog::s_lmLogCat).noquote()
            << QStringLiteral("[PING] %1 — %2")
                   .arg(host, result ? QStringLiteral("reachable") : QStringLiteral("unreachable"));

    hasStatus = true;
    reachable = result;
    if (isOnMaster())
        sendSyncMessageToRemoteDevices(s_changeMessageType.toByteArray() + '*' + flag(result));
    emit reachabilityChanged(result);
}

bool PingDevice::showSetupDialog(QWidget *parent)
{
    PingDeviceSetup dialog(parent);
    dialog.hostLineEdit->setText(host);
    dialog.intervalSpinBox->setValue(intervalSec);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    host = dialog.hostLineEdit->text();
    intervalSec = dialog.intervalSpinBox->value();
    return true;
}

UserScreenWidget *PingDevice::getWidget(QWidget *parent)
{
    return new PingDeviceWidget(this, parent);
}
