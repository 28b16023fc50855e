#include "touchscreen_device.h"

#include "touchscreen_device_setup.h"

#include <Show.h>
#include <XmlWriter.h>

#include <QDomElement>
#include <QMetaType>

#include <charconv>
#include <cmath>

namespace {
const int kDomNameKey = 1;

// std::to_chars with a precision is printf's %g in the C locale by definition and
// never looks at the process's locale (LC_NUMERIC or QLocale).
QByteArray gText(double value)
{
    char buffer[32];
    const std::to_chars_result result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return result.ec == std::errc() ? QByteArray(buffer, int(result.ptr - buffer))
                                    : QByteArrayLiteral("0");
}

// QByteArray::toFloat reads the C locale. Text that is no finite number counts as 0,
// so a peer cannot place a touch at infinity or NaN.
double coordinate(const QByteArray &field)
{
    bool ok = false;
    const float value = field.toFloat(&ok);
    return ok && std::isfinite(value) ? double(value) : 0.0;
}
} // namespace

const QString TouchScreenDevice::s_typeName = QStringLiteral("TouchScreen");
const QUuid TouchScreenDevice::s_touchMessageType(
    QStringLiteral("e7c14b2a-3f85-4d91-a6e0-8b2c5f1d0e43"));

TouchScreenDevice::TouchScreenDevice(bool param)
    : Device(param)
{
    // Receivers on other threads get touchReceived queued, which needs the type.
    qRegisterMetaType<QPointF>("QPointF");
    m_typeName = s_typeName;
    m_deviceNumber = 0;
    m_name.clear();
}

TouchScreenDevice::~TouchScreenDevice() = default;

QByteArray TouchScreenDevice::touchMessage(double x, double y)
{
    return s_touchMessageType.toByteArray(QUuid::WithBraces) + '*' + gText(x) + '*' + gText(y);
}

void TouchScreenDevice::onServerOutputTouched(int server, int output, QPointF pos)
{
    if (!isConfigured() || server != serverId || output != serverOutputId)
        return;
    // From any instance: the bus takes it to the master, which relays it on.
    sendSyncMessageToRemoteDevices(touchMessage(pos.x(), pos.y()));
    emit touchReceived(pos);
}

void TouchScreenDevice::decodeRuntimeMessage(
    const LiveUpdateMessageType &type, const QByteArray &payload)
{
    if (type != s_touchMessageType)
        return;
    // Fields after the second are ignored.
    const qsizetype firstStar = payload.indexOf('*');
    if (firstStar < 0)
        return;
    qsizetype secondStar = payload.indexOf('*', firstStar + 1);
    if (secondStar < 0)
        secondStar = payload.size();
    const QPointF pos(coordinate(payload.left(firstStar)),
        coordinate(payload.mid(firstStar + 1, secondStar - firstStar - 1)));

    // The instance that runs the watched output had the touch from the host already;
    // this is the master's relay of it coming back.
    if (const Show *s = show(); s && s->localMediaServerId() == serverId)
        return;
    if (isOnMaster())
        sendSyncMessageToRemoteDevices(touchMessage(pos.x(), pos.y()));
    emit touchReceived(pos);
}

void TouchScreenDevice::readDom(const QDomElement &element)
{
    readDomBase(element, kDomNameKey);
    // Missing: -1 (unconfigured); not a number: 0.
    serverId
        = element.attribute(QStringLiteral("serverId"), QStringLiteral("-1")).toInt(nullptr, 10);
    serverOutputId = element.attribute(QStringLiteral("serverOutputId"), QStringLiteral("-1"))
                         .toInt(nullptr, 10);
}

void TouchScreenDevice::writeXml(XmlWriter &writer)
{
    XMLNodeBaseBegin(writer, kDomNameKey);
    writer.attribute(QStringLiteral("serverId"), serverId);
    writer.attribute(QStringLiteral("serverOutputId"), serverOutputId);
    XMLNodeBaseEnd(writer);
}

bool TouchScreenDevice::showSetupDialog(QWidget *parent)
{
    TouchScreenDeviceSetup dialog(this, parent);
    dialog.fillOutputList();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Accepted with nothing listed: nothing to take over.
    const QVariant data = dialog.outputComboBox->currentData(Qt::UserRole);
    if (data.isValid()) {
        const QVariantList ids = data.toList();
        if (ids.size() >= 2) {
            serverId = ids.at(0).toInt();
            serverOutputId = ids.at(1).toInt();
        }
    }
    return true;
}

bool TouchScreenDevice::isActiveOnMasterOnly() const
{
    // Touches are reported on whichever instance runs the output.
    return false;
}
