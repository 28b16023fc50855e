#include "phidget_device_setup.h"

#include "phidget_bridge.h"
#include "phidget_channels_model.h"

#include <LMLog.h>
#include <Screen.h>

#include <QIntValidator>
#include <QSortFilterProxyModel>

#include <limits>

PhidgetDeviceSetup::PhidgetDeviceSetup(PhidgetDevice *device, QWidget *parent)
    : QDialog(parent)
    , m_device(device)
{
    setupUi(this);
    serverComboBox->addItem(QStringLiteral("Producer"), 0);
    const MediaServers &servers = m_device->getMediaServers();
    for (auto it = servers.cbegin(); it != servers.cend(); ++it) {
        if (!it.value())
            continue;
        serverComboBox->addItem(
            QStringLiteral("%1 / %2").arg(it.value()->name(), it.value()->networkAddress()),
            it.key());
    }

    serialNumberLineEdit->setValidator(
        new QIntValidator(0, std::numeric_limits<int>::max(), serialNumberLineEdit));
    channelsTable->setItemDelegate(new ChannelEditorDelegate(this));

    connect(serverComboBox, &QComboBox::currentIndexChanged, this,
        &PhidgetDeviceSetup::onServerIndexChanged);

    const PhidgetDeviceConfig &config = m_device->config();
    nameLineEdit->setText(m_device->name());
    // Set, not typed: the validator lets -1 ("any board") stand.
    serialNumberLineEdit->setText(QString::number(config.serialNumber));
    // A media server that is gone matches no item, so none is selected.
    serverComboBox->setCurrentIndex(serverComboBox->findData(int(config.mediaServerId)));
    onServerIndexChanged(serverComboBox->currentIndex());
    producerAddressLineEdit->setText(config.producerServerAddress);

    m_model = new PhidgetChannelsModel(config.channels, this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSortRole(Qt::EditRole);
    m_proxy->setSourceModel(m_model);
    channelsTable->setModel(m_proxy);

    // Channels keep their id order until the user sorts by a column.
    channelsTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    channelsTable->setSortingEnabled(true);
    for (int column = 0; column < PhidgetChannelsModel::s_columnCount; ++column)
        channelsTable->setColumnWidth(column, PhidgetChannelsModel::s_columnWidths[column]);

    connect(addChannelButton, &QPushButton::clicked, this, &PhidgetDeviceSetup::onAddChannel);
    connect(deleteChannelButton, &QPushButton::clicked, this, &PhidgetDeviceSetup::onDeleteChannel);
}

void PhidgetDeviceSetup::apply()
{
    m_device->setName(nameLineEdit->text());
    PhidgetDeviceConfig config;
    // Empty text gives 0.
    config.serialNumber = serialNumberLineEdit->text().toInt(nullptr, 10);
    // No server selected gives 0, the producer.
    config.mediaServerId = serverComboBox->currentData().toInt();
    config.producerServerAddress = producerAddressLineEdit->text();
    config.channels = m_model->channels();
    m_device->setConfig(config);
}

void PhidgetDeviceSetup::onAddChannel()
{
    const int32_t id = m_model->addChannel();
    if (id < 0) {
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote()
                << QStringLiteral("[PHIDGET] %1: no channel id above %2 is left; channel not added")
                       .arg(m_device->name())
                       .arg(m_model->lastId());
        return;
    }
    // Show the new channel, wherever the current sorting puts it.
    const QModelIndex added = m_proxy->mapFromSource(m_model->index(m_model->rowCount() - 1, 0));
    channelsTable->setCurrentIndex(added);
    channelsTable->scrollTo(added);
}

void PhidgetDeviceSetup::onDeleteChannel()
{
    const QModelIndex current = m_proxy->mapToSource(channelsTable->currentIndex());
    if (!current.isValid() || current.row() >= m_model->rowCount())
        return;
    m_model->removeRows(current.row(), 1);
}

void PhidgetDeviceSetup::onServerIndexChanged(int index)
{
    // Only the producer's address is typed in; a media server brings its own.
    producerAddressWidget->setEnabled(index == 0);
}
