#pragma once

#include <Device.h>

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QUuid>

class QDomElement;
class QWidget;
class XmlWriter;

// Watches one output window of one media server. The host reports every touch on
// every output window to onServerOutputTouched; touches on the watched output are
// signalled here and, through the sync channel, on the other instances of the show.
//
// Threads: no thread of its own. Every member is read and written on the thread on
// which the host calls the device (the GUI thread of its instance); touchReceived is
// emitted there, and receivers on other threads get it queued.
class TouchScreenDevice : public Device
{
    Q_OBJECT

public:
    explicit TouchScreenDevice(bool param);
    ~TouchScreenDevice() override;

    static const QString s_typeName;
    static const QUuid s_touchMessageType;

    // "{type}*x*y", each coordinate as printf's %g (6 significant digits) in the C
    // locale, whatever the process's locale.
    static QByteArray touchMessage(double x, double y);

    void decodeRuntimeMessage(
        const LiveUpdateMessageType &type, const QByteArray &payload) override;
    void readDom(const QDomElement &element) override;
    void writeXml(XmlWriter &writer) override;
    bool showSetupDialog(QWidget *parent) override;
    bool isActiveOnMasterOnly() const override;

    bool isConfigured() const { return serverId != -1 && serverOutputId != -1; }

    // -1: none.
    int serverId = -1;
    int serverOutputId = -1;

signals:
    void touchReceived(QPointF pos);

public slots:
    // Called by the host (by name through the meta-object, or by a signal connection)
    // for every touch on every media server's output window.
    void onServerOutputTouched(int serverId, int serverOutputId, QPointF pos);
};
