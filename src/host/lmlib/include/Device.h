#pragma once

#include "Screen.h"
#include "lmlib_global.h"

#include <QByteArray>
#include <QDomElement>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariant>

class Show;
class UserScreenWidget;
class XmlWriter;
class QWidget;

// The type of a runtime sync message.
using LiveUpdateMessageType = QUuid;
// Selects the element name that XMLNodeBaseBegin opens; devices pass 1 ("device").
using DomNameKey = int;

// A device of the show. The host owns it; every host instance holds its own copy.
class LMLIB_EXPORT Device : public QObject
{
    Q_OBJECT
public:
    // onMaster: whether the instance that creates the device is the master.
    explicit Device(bool onMaster);
    ~Device() override;

    virtual int timecodeDeviceMode() const;
    // The device's full runtime state for an instance that joins late; empty when it
    // keeps none. Begins with encodeRuntimeMessageHeader() and "*".
    virtual QByteArray encodeSyncRuntimeMessage();
    virtual void decodeRuntimeMessage(const LiveUpdateMessageType &type, const QByteArray &payload);
    virtual void readDom(const QDomElement &element);
    virtual void writeXml(XmlWriter &writer);
    virtual void init();
    virtual bool showSetupDialog(QWidget *parent);
    virtual bool executeAction(const QString &action);
    virtual QString actionToText(const QString &action) const;
    virtual QWidget *createActionEditor(QWidget *parent);
    virtual QString readActionEditor(QWidget *editor) const;
    virtual void updateRuntime();
    // A new widget for user screens, owned by the caller; null when the device has none.
    virtual UserScreenWidget *getWidget(QWidget *parent);
    virtual void locate(qint64 timeMs);
    virtual void locatePlay(qint64 timeMs);
    virtual void setPlayState(bool playing);
    virtual void timeTracker(qint64 timeMs);
    virtual void setParam(const QString &name, const QVariant &value);
    virtual void setShow(Show *show);
    virtual bool isActiveOnMasterOnly() const;

    QString name() const { return m_name; }
    void setName(const QString &name);
    QString typeName() const { return m_typeName; }
    int deviceNumber() const { return m_deviceNumber; }
    void setDeviceNumber(int number) { m_deviceNumber = number; }
    bool isOnMaster() const;
    const MediaServers &getMediaServers() const;
    Show *show() const { return m_show; }

    void XMLNodeBaseBegin(XmlWriter &writer, DomNameKey key);
    void XMLNodeBaseEnd(XmlWriter &writer);
    void readDomBase(const QDomElement &element, DomNameKey key);

    // Passes the message (braced type, "*", payload) to this device's copies on
    // every other host instance.
    void sendSyncMessageToRemoteDevices(const QByteArray &message);
    QByteArray encodeRuntimeMessageHeader() const;

    static QString elementName(DomNameKey key);

signals:
    void nameChanged();

protected:
    QString m_typeName;
    int m_deviceNumber = 0;
    QString m_name;

private:
    bool m_onMaster;
    Show *m_show = nullptr;
    DomNameKey m_openKey = 1;
};
