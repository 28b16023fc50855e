#include "phidget_channel_inspector.h"

#include "phidget_bridge.h"
#include "phidget_channel_picker.h"

#include <Show.h>

#include <QPointer>

PhidgetChannelInspector::PhidgetChannelInspector(
    std::function<Show *()> currentShow, QWidget *parent)
    : INodeDataWidget(parent)
    , m_currentShow(std::move(currentShow))
{
    m_ui.setupUi(this);
    connect(
        m_ui.changeButton, &QPushButton::clicked, this, &PhidgetChannelInspector::onChangeClicked);
    connect(
        m_ui.clearButton, &QPushButton::clicked, this, &PhidgetChannelInspector::onClearClicked);
}

void PhidgetChannelInspector::setNodeData(const ANodeData &value)
{
    const auto *channel = dynamic_cast<const PhidgetChannelData *>(&value);
    if (!channel)
        return;
    m_value.setValue(*channel);
    refreshLabel();
    emit valueChanged(value, false);
}

void PhidgetChannelInspector::getNodeData(ANodeData &out) const
{
    if (auto *channel = dynamic_cast<PhidgetChannelData *>(&out))
        channel->setValue(m_value);
}

void PhidgetChannelInspector::refreshLabel()
{
    Show *show = m_currentShow ? m_currentShow() : nullptr;
    // Only a Phidget device has channels to name.
    const auto *device
        = show ? qobject_cast<PhidgetDevice *>(show->resolveDevice(m_value.device)) : nullptr;
    QString text = QStringLiteral("Invalid Device");
    if (device) {
        const PhidgetChannelMap &channels = device->config().channels;
        const auto it = channels.constFind(m_value.channelID);
        text = device->name() + QLatin1Char('/')
            + (it == channels.cend() ? QStringLiteral("Invalid Channel") : it->name);
    }
    m_ui.channelName->setText(text);
    // The label is 90 pixels wide: most names need the tooltip to be read whole.
    m_ui.channelName->setToolTip(text);
}

void PhidgetChannelInspector::onChangeClicked()
{
    Show *show = m_currentShow ? m_currentShow() : nullptr;
    PhidgetChannelPickerDialog picker(
        show, m_value.device.deviceId, m_value.channelID, m_value.channelType, nullptr);
    // The property editor may delete this widget while the picker runs modally.
    const QPointer<PhidgetChannelInspector> self(this);
    if (picker.exec() != QDialog::Accepted || !self || !picker.selectedChannel())
        return;
    setNodeData(*picker.selectedChannel());
}

void PhidgetChannelInspector::onClearClicked()
{
    // The node's accepted type survives, so the next picker still filters by it.
    setNodeData(PhidgetChannelData(m_value.channelType, -1));
}
