#include "ping_device_widget.h"

#include "ping_bridge.h"

const QString PingDeviceWidget::s_onStyleSheet = QStringLiteral(
    "image: url(\":/share/image/Content/CT_Screens/CT_ScreenScreenOn.svg\"); color: black;");
const QString PingDeviceWidget::s_warningStyleSheet = QStringLiteral(
    "image: url(\":/share/image/Content/CT_Screens/CT_ScreenScreenWarning.svg\"); color: black;");

PingDeviceWidget::PingDeviceWidget(PingDevice *device, QWidget *parent)
    : UserScreenWidget(parent)
    , m_device(device)
{
    setupUi(this);
    if (!device)
        return;
    connect(device, &Device::nameChanged, this, &PingDeviceWidget::updateName);
    updateName();
    connect(device, &PingDevice::reachabilityChanged, this, &PingDeviceWidget::updateLamp);
    updateLamp(device->reachable);
}

PingDeviceWidget::~PingDeviceWidget() = default;

void PingDeviceWidget::updateName()
{
    const QString text = QStringLiteral("[Ping] %1").arg(deviceName());
    setObjectName(text);
    deviceNameLabel->setText(text);
}

void PingDeviceWidget::updateLamp(bool reachable)
{
    statusLabel->setStyleSheet(reachable ? s_onStyleSheet : s_warningStyleSheet);
    m_status = reachable ? 1 : 0;
    emit onWidgetChanged();
}

QString PingDeviceWidget::deviceName() const
{
    return m_device ? m_device->name() : QString();
}

void PingDeviceWidget::setStatus(int status)
{
    // Only the stored value: the lamp follows the device, not this property.
    if (status != m_status)
        m_status = status;
}

QColor PingDeviceWidget::textColor() const
{
    return palette().color(QPalette::WindowText);
}

void PingDeviceWidget::setTextColor(const QColor &color)
{
    setPaletteColor(QPalette::WindowText, color);
}

QColor PingDeviceWidget::backgroundColor() const
{
    return palette().color(QPalette::Window);
}

void PingDeviceWidget::setBackgroundColor(const QColor &color)
{
    setPaletteColor(QPalette::Window, color);
}

void PingDeviceWidget::setPaletteColor(QPalette::ColorRole role, const QColor &color)
{
    QPalette p = palette();
    p.setColor(role, color);
    setPalette(p);
}
