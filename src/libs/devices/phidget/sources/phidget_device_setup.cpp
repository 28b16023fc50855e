#include "phidget_device_setup.h"

#include "phidget_bridge.h"
#include "phidget_channels_model.h"

#include <LMLog.h>
#include <Screen.h>

#include <QIntValidator>
#include <QLocale>
#include <QSortFilterProxyModel>

#include <limits>

PhidgetDeviceSetup::PhidgetDeviceSetup(PhidgetDevice *device, QWidget *parent)
    : QDialog(parent)
    , m_device(device)
{
    setupUi(this);
    // The producer's entry keeps its word in every language; the server entries are translated.
    serverComboBox->addItem(QStringLiteral("Producer"), 0);
    const MediaServers &servers = m_device->getMediaServers();
    for (auto it = servers.cbegin(); it != servers.cend(); ++it) {
        if (!it.value())
            continue;
        serverComboBox->addItem(
            tr("%1 / %2").arg(it.value()->name(), it.value()->networkAddress()), it.key());
    }

    auto *serialValidator
        = new QIntValidator(0, std::numeric_limits<int>::max(), serialNumberLineEdit);
    // Digits only: a group separator ("1,234") would pass the validator but not toInt(),
    // and the serial number would silently become 0.
    QLocale digitsOnly = QLocale::c();
    digitsOnly.setNumberOptions(QLocale::RejectGroupSeparator);
    serialValidator->setLocale(digitsOnly);
    serialNumberLineEdit->setValidator(serialValidator);
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

bool PhidgetDeviceSetup::apply()
{
    if (!m_device)
        return false;
    m_device->setName(nameLineEdit->text());
    PhidgetDeviceConfig config;
    // Empty text gives 0. The validator still lets a number above its top stand while it
    // is typed ("2147483648"); that keeps the stored serial number instead of becoming 0.
    const QString serialText = serialNumberLineEdit->text();
    bool serialOk = serialText.isEmpty();
    config.serialNumber = serialOk ? 0 : serialText.toInt(&serialOk, 10);
    if (!serialOk) {
        config.serialNumber = m_device->config().serialNumber;
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote()
                << QStringLiteral("[PHIDGET] %1: serial number \"%2\" is out of range; %3 kept")
                       .arg(m_device->name(), serialText, QString::number(config.serialNumber));
    }
    // No server selected gives 0, the producer.
    config.mediaServerId = serverComboBox->currentData().toInt();
    config.producerServerAddress = producerAddressLineEdit->text();
    config.channels = m_model->channels();
    m_device->setConfig(config);
    return true;
}

void PhidgetDeviceSetup::onAddChannel()
{
    if (!m_model->addChannel()) {
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote()
                << QStringLiteral("[PHIDGET] %1: no channel id above %2 is left; channel not added")
                       .arg(m_device ? m_device->name() : QString(),
                           QString::number(m_model->lastId()));
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
