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
    if (!device) {
        m_ui.channelName->setText(QStringLiteral("Invalid Device"));
        return;
    }
    const PhidgetChannelMap &channels = device->config().channels;
    const auto it = channels.constFind(m_value.channelID);
    m_ui.channelName->setText(device->name() + QLatin1Char('/')
        + (it == channels.cend() ? QStringLiteral("Invalid Channel") : it->name));
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
