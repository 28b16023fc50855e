#include "phidget_channel_picker.h"

#include "phidget_bridge.h"
#include "phidget_channels_model.h"

#include <Show.h>

PhidgetChannelProxyModel::PhidgetChannelProxyModel(int32_t acceptedType, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_acceptedType(acceptedType)
{ }

bool PhidgetChannelProxyModel::filterAcceptsRow(
    int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex type
        = sourceModel()->index(sourceRow, PhidgetChannelsModel::TypeColumn, sourceParent);
    return type.data(Qt::EditRole).toInt() == m_acceptedType;
}

PhidgetChannelPickerDialog::PhidgetChannelPickerDialog(
    Show *show, int32_t deviceId, int32_t channelId, int32_t acceptedType, QWidget *parent)
    : QDialog(parent)
    , m_show(show)
    , m_initialDeviceId(deviceId)
    , m_initialChannelId(channelId)
    , m_acceptedType(acceptedType)
    , m_proxy(new PhidgetChannelProxyModel(acceptedType, this))
{
    m_ui.setupUi(this);
    setWindowTitle(tr("Select a Phidget Channel"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_proxy->setSortRole(Qt::EditRole);
    m_ui.channels->setModel(m_proxy);
    // Channels keep their id order until the user sorts by a column.
    m_ui.channels->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_ui.channels->setSortingEnabled(true);

    // Both buttons are wired here, not in the form, so that OK accepts only once.
    connect(
        m_ui.buttonBox, &QDialogButtonBox::accepted, this, &PhidgetChannelPickerDialog::onConfirm);
    connect(m_ui.buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui.devices, &QListWidget::currentRowChanged, this,
        &PhidgetChannelPickerDialog::onDeviceChanged);
    connect(m_ui.channels, &QAbstractItemView::doubleClicked, this,
        &PhidgetChannelPickerDialog::onConfirm);
    if (show)
        connect(show, &QObject::destroyed, this, &PhidgetChannelPickerDialog::onShowDestroyed);

    if (hasPhidgetDevices()) {
        m_ui.devices->clear();
        int initialRow = 0;
        const QMap<int, Device *> devices = m_show->devicesOfType(PhidgetDevice::s_typeName);
        for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
            if (it.key() == m_initialDeviceId)
                initialRow = m_ui.devices->count();
            auto *item = new QListWidgetItem(it.value() ? it.value()->name() : QString());
            item->setData(Qt::UserRole, it.key());
            m_ui.devices->addItem(item);
        }
        // Runs the device switch.
        m_ui.devices->setCurrentRow(initialRow);
    }

    if (m_initialChannelId >= 0) {
        for (int row = 0; row < m_proxy->rowCount(); ++row) {
            const QModelIndex index = m_proxy->index(row, 0);
            if (index.data(Qt::UserRole).toInt() == m_initialChannelId) {
                m_ui.channels->setCurrentIndex(index);
                m_ui.channels->scrollTo(index);
                break;
            }
        }
    }
}

bool PhidgetChannelPickerDialog::hasPhidgetDevices() const
{
    return m_show && !m_show->devicesOfType(PhidgetDevice::s_typeName).isEmpty();
}

void PhidgetChannelPickerDialog::onDeviceChanged()
{
    if (!hasPhidgetDevices())
        return;
    PhidgetChannelsModel *model = nullptr;
    if (const QListWidgetItem *item = m_ui.devices->currentItem()) {
        const auto *device = qobject_cast<PhidgetDevice *>(
            m_show->findDevice(PhidgetDevice::s_typeName, item->data(Qt::UserRole).toInt()));
        if (device)
            model = new PhidgetChannelsModel(device->config().channels, this);
    }
    QAbstractItemModel *previous = m_proxy->sourceModel();
    m_proxy->setSourceModel(model);
    // Later: the view may still refer to it while this switch is handled.
    if (previous)
        previous->deleteLater();
    // A new source model resets the header's sections.
    for (int column = 0; column < PhidgetChannelsModel::s_columnCount; ++column)
        m_ui.channels->setColumnWidth(column, PhidgetChannelsModel::s_columnWidths[column]);
}

void PhidgetChannelPickerDialog::onShowDestroyed()
{
    // The show's devices went with it: none of them can be picked any more. Only the dialog's
    // own widgets and models are touched here, never the show.
    m_ui.devices->clear();
    QAbstractItemModel *previous = m_proxy->sourceModel();
    m_proxy->setSourceModel(nullptr);
    if (previous)
        previous->deleteLater();
}

void PhidgetChannelPickerDialog::onConfirm()
{
    const QListWidgetItem *item = m_ui.devices->currentItem();
    const QModelIndex channel = m_ui.channels->currentIndex();
    if (item && channel.isValid()) {
        PhidgetChannelData result(m_acceptedType, channel.data(Qt::UserRole).toInt());
        result.device
            = DeviceDescriptorData(PhidgetDevice::s_typeName, item->data(Qt::UserRole).toInt());
        m_result = result;
    }
    accept();
}
