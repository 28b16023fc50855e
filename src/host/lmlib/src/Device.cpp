#include "Device.h"

#include "Show.h"
#include "SyncBus.h"

#include <LMLog.h>
#include <XmlWriter.h>

Device::Device(bool onMaster)
    : m_onMaster(onMaster)
{ }

Device::~Device() = default;

int Device::timecodeDeviceMode() const
{
    return 0;
}

QByteArray Device::encodeSyncRuntimeMessage()
{
    return QByteArray();
}

void Device::decodeRuntimeMessage(const LiveUpdateMessageType &, const QByteArray &)
{ }

void Device::readDom(const QDomElement &element)
{
    readDomBase(element, 1);
}

void Device::writeXml(XmlWriter &writer)
{
    XMLNodeBaseBegin(writer, 1);
    XMLNodeBaseEnd(writer);
}

void Device::init()
{ }

bool Device::showSetupDialog(QWidget *)
{
    return false;
}

bool Device::executeAction(const QString &)
{
    return false;
}

QString Device::actionToText(const QString &action) const
{
    return action;
}

QWidget *Device::createActionEditor(QWidget *)
{
    return nullptr;
}

QString Device::readActionEditor(QWidget *) const
{
    return QString();
}

void Device::updateRuntime()
{ }

UserScreenWidget *Device::getWidget(QWidget *)
{
    return nullptr;
}

void Device::locate(qint64)
{ }

void Device::locatePlay(qint64)
{ }

void Device::setPlayState(bool)
{ }

void Device::timeTracker(qint64)
{ }

void Device::setParam(const QString &, const QVariant &)
{ }

void Device::setShow(Show *show)
{
    m_show = show;
}

bool Device::isActiveOnMasterOnly() const
{
    return true;
}

void Device::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit nameChanged();
}

bool Device::isOnMaster() const
{
    return m_show ? m_show->isMaster() : m_onMaster;
}

const MediaServers &Device::getMediaServers() const
{
    static const MediaServers none;
    return m_show ? m_show->getMediaServers() : none;
}

QString Device::elementName(DomNameKey key)
{
    return key == 0 ? QStringLiteral("timecodeDevice") : QStringLiteral("device");
}

void Device::XMLNodeBaseBegin(XmlWriter &writer, DomNameKey key)
{
    m_openKey = key;
    writer.startElement(elementName(key));
    writer.attribute(QStringLiteral("type"), m_typeName);
    writer.attribute(QStringLiteral("id"), m_deviceNumber);
    writer.attribute(QStringLiteral("name"), m_name);
}

void Device::XMLNodeBaseEnd(XmlWriter &writer)
{
    writer.endElement(elementName(m_openKey));
}

void Device::readDomBase(const QDomElement &element, DomNameKey key)
{
    if (element.tagName() != elementName(key) && LMLog::modeContains(LOG::WARNING)) {
        qCWarning(LMLog::s_lmLogCat).noquote()
            << "[LMLIB] device element" << element.tagName() << "read as" << elementName(key);
    }
    bool ok = false;
    const int number = element.attribute(QStringLiteral("id")).toInt(&ok);
    m_deviceNumber = ok ? number : -1;
    setName(element.attribute(QStringLiteral("name")));
}

void Device::sendSyncMessageToRemoteDevices(const QByteArray &message)
{
    if (m_show && m_show->syncBus())
        m_show->syncBus()->send(*this, message);
}

QByteArray Device::encodeRuntimeMessageHeader() const
{
    return "DEVICE:" + m_typeName.toUtf8() + ':' + QByteArray::number(m_deviceNumber);
}
