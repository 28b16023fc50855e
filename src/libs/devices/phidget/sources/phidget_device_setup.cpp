#include "phidget_device_setup.h"

#include "phidget_bridge.h"
#include "phidget_channel_data.h"
#include "phidget_channels_model.h"

#include <INodeController.h>
#include <LMLog.h>
#include <NodeGraph.h>
#include <Screen.h>
#include <Show.h>

#include <QHostAddress>
#include <QIntValidator>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
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

    m_deleteQuestion = [this](const QString &text) {
        return QMessageBox::question(this, tr("Delete channel"), text,
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };
    connect(serialNumberLineEdit, &QLineEdit::textChanged, this, &PhidgetDeviceSetup::updateOk);
    connect(producerAddressLineEdit, &QLineEdit::textChanged, this, &PhidgetDeviceSetup::updateOk);
    connect(serverComboBox, &QComboBox::currentIndexChanged, this, &PhidgetDeviceSetup::updateOk);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &PhidgetDeviceSetup::updateOk);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &PhidgetDeviceSetup::updateOk);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &PhidgetDeviceSetup::updateOk);
    updateOk();
}

QStringList PhidgetDeviceSetup::problems() const
{
    QStringList found;
    // Typed text is digits only (the validator); -1, any board, comes only from the device.
    const QString serialText = serialNumberLineEdit->text();
    bool serialOk = true;
    const int serial = serialText.isEmpty() ? 0 : serialText.toInt(&serialOk, 10);
    if (!serialOk || serial < -1) {
        found << tr("Serial number \"%1\": not from 0 to 2147483647 (or -1, any board)")
                     .arg(serialText);
    }
    // The producer's server is reached by the address typed here, which the runtime takes
    // only as a numeric address; a media server brings its own.
    if (serverComboBox->currentIndex() == 0
        && !QHostAddress().setAddress(producerAddressLineEdit->text().trimmed())) {
        found << tr("IP Address \"%1\": not an IPv4 or IPv6 address")
                     .arg(producerAddressLineEdit->text());
    }
    const PhidgetChannelMap &channels = m_model->channels();
    for (auto it = channels.cbegin(); it != channels.cend(); ++it) {
        const LM_PhidgetChannel &channel = it.value();
        const QString which = tr("Channel \"%1\" (id %2)").arg(channel.name).arg(it.key());
        if (channel.hubPort < -1)
            found << tr("%1: hub port %2 is below -1").arg(which).arg(channel.hubPort);
        if (channel.channelNumber < -1)
            found << tr("%1: channel %2 is below -1").arg(which).arg(channel.channelNumber);
        const int type = channel.type;
        if (type != LM_DIGITAL_INPUT && type != LM_DIGITAL_OUTPUT && type != LM_ENCODER) {
            found << tr("%1: type UNKNOWN; choose DIGITAL_INPUT, DIGITAL_OUTPUT or ENCODER")
                         .arg(which);
        }
    }
    return found;
}

void PhidgetDeviceSetup::updateOk()
{
    const QStringList found = problems();
    // A long table of bad channels must not push the buttons off the screen.
    constexpr int shownLines = 4;
    QStringList shown = found.mid(0, shownLines);
    if (found.size() > shownLines)
        shown << tr("and %n more", nullptr, int(found.size() - shownLines));
    problemLabel->setText(shown.join(QLatin1Char('\n')));
    problemLabel->setVisible(!found.isEmpty());
    buttonBox->button(QDialogButtonBox::Ok)->setEnabled(found.isEmpty());
}

QMap<int32_t, QStringList> PhidgetDeviceSetup::channelUsers() const
{
    QMap<int32_t, QStringList> users;
    const Show *show = m_device ? m_device->show() : nullptr;
    if (!show)
        return users;
    for (const Node *node : show->graph().nodes()) {
        const INodeController *controller = node->controller();
        if (!controller)
            continue;
        for (const std::unique_ptr<ANodeData> &value : controller->propertyValues()) {
            if (!value || value->dataType != kPhidgetChannelDataTypeId)
                continue;
            const auto &designated = static_cast<const PhidgetChannelData &>(*value);
            if (show->resolveDevice(designated.device) != m_device)
                continue;
            users[designated.channelID] << (node->name().isEmpty()
                    ? tr("node %1").arg(node->id())
                    : tr("\"%1\" (node %2)").arg(node->name()).arg(node->id()));
        }
    }
    return users;
}

bool PhidgetDeviceSetup::apply()
{
    if (!m_device || !problems().isEmpty())
        return false;
    m_device->setName(nameLineEdit->text());
    PhidgetDeviceConfig config;
    // Empty text gives 0; problems() has checked the rest.
    config.serialNumber = serialNumberLineEdit->text().toInt(nullptr, 10);
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
    const int32_t id = current.siblingAtColumn(0).data(Qt::UserRole).toInt();
    const QStringList users = channelUsers().value(id);
    if (!users.isEmpty()) {
        const QString text
            = tr("The channel \"%1\" (id %2) is used by %3. Delete it? Those nodes then do "
                 "nothing until they are given another channel.")
                  .arg(m_model->channels().value(id).name)
                  .arg(id)
                  .arg(users.join(QStringLiteral(", ")));
        if (!m_deleteQuestion || !m_deleteQuestion(text))
            return;
    }
    m_model->removeRows(current.row(), 1);
}

void PhidgetDeviceSetup::onServerIndexChanged(int index)
{
    // Only the producer's address is typed in; a media server brings its own.
    producerAddressWidget->setEnabled(index == 0);
}
