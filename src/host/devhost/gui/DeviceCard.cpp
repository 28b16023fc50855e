#include "DeviceCard.h"

#include "Device.h"
#include "Show.h"
#include "ShowEditor.h"
#include "UserScreenWidget.h"
#include "ui_DeviceCard.h"

DeviceCard::DeviceCard(
    ShowEditor &editor, Show &show, Device &device, const QIcon &icon, QWidget *parent)
    : QFrame(parent)
    , m_ui(std::make_unique<Ui::DeviceCard>())
    , m_editor(editor)
    , m_show(&show)
    , m_device(&device)
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("device_%1_%2").arg(device.typeName()).arg(device.deviceNumber()));
    if (!icon.isNull())
        m_ui->iconLabel->setPixmap(icon.pixmap(26, 26));
    updateTitle();
    connect(&device, &Device::nameChanged, this, &DeviceCard::updateTitle);
    connect(m_ui->setupButton, &QPushButton::clicked, this, [this] {
        if (m_show && m_device)
            m_editor.setupDevice(m_show, m_device, window());
    });

    m_widget = device.getWidget(m_ui->widgetArea);
    if (m_widget) {
        m_ui->widgetLayout->addWidget(m_widget);
    } else {
        auto *none = new QLabel(tr("<i>No user-screen widget</i>"), m_ui->widgetArea);
        none->setEnabled(false);
        m_ui->widgetLayout->addWidget(none);
    }
}

DeviceCard::~DeviceCard() = default;

QPushButton *DeviceCard::button() const
{
    return m_ui->setupButton;
}

void DeviceCard::updateTitle()
{
    if (!m_device)
        return;
    m_ui->titleLabel->setText(tr("<b>%1 #%2</b> %3")
                                  .arg(m_device->typeName().toHtmlEscaped())
                                  .arg(m_device->deviceNumber())
                                  .arg(m_device->name().toHtmlEscaped()));
}
