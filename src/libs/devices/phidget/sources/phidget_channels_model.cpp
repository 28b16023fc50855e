#include "phidget_channels_model.h"

#include <QComboBox>
#include <QSpinBox>

#include <iterator>
#include <limits>

namespace {
QString portText(int32_t value)
{
    return value == -1 ? QStringLiteral("Unspecified") : QString::number(value);
}
} // namespace

PhidgetChannelsModel::PhidgetChannelsModel(const PhidgetChannelMap &channels, QObject *parent)
    : QAbstractTableModel(parent)
    , m_channels(channels)
    , m_lastId(channels.isEmpty() ? 0 : channels.lastKey())
{ }

int PhidgetChannelsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_channels.size());
}

int PhidgetChannelsModel::columnCount(const QModelIndex &) const
{
    return s_columnCount;
}

PhidgetChannelMap::const_iterator PhidgetChannelsModel::channelAt(int row) const
{
    return std::next(m_channels.constBegin(), row);
}

QVariant PhidgetChannelsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_channels.size() || index.column() >= s_columnCount)
        return QVariant();
    const auto it = channelAt(index.row());
    if (role == Qt::UserRole)
        return int(it.key());
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();

    const LM_PhidgetChannel &channel = it.value();
    const bool display = role == Qt::DisplayRole;
    switch (index.column()) {
    case NameColumn:
        return channel.name;
    case HubPortColumn:
        return display ? QVariant(portText(channel.hubPort)) : QVariant(int(channel.hubPort));
    case ChannelColumn:
        return display ? QVariant(portText(channel.channelNumber))
                       : QVariant(int(channel.channelNumber));
    case VintDigitalColumn:
        return channel.isVINTDigital;
    case TypeColumn:
        return display ? QVariant(phidgetChannelTypeWord(channel.type))
                       : QVariant(int(channel.type));
    }
    return QVariant();
}

QVariant PhidgetChannelsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // In Column order.
    static const char *const titles[s_columnCount] = {QT_TR_NOOP("Name"), QT_TR_NOOP("Hub Port"),
        QT_TR_NOOP("Channel"), QT_TR_NOOP("Vint Digital"), QT_TR_NOOP("Type")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= s_columnCount)
        return QVariant();
    return tr(titles[section]);
}

Qt::ItemFlags PhidgetChannelsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

bool PhidgetChannelsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= m_channels.size())
        return false;
    const int32_t id = channelAt(index.row()).key();
    switch (index.column()) {
    case NameColumn:
        m_channels[id].name = value.toString();
        break;
    case HubPortColumn:
        m_channels[id].hubPort = value.toInt();
        break;
    case ChannelColumn:
        m_channels[id].channelNumber = value.toInt();
        break;
    case VintDigitalColumn:
        m_channels[id].isVINTDigital = value.toBool();
        break;
    case TypeColumn:
        m_channels[id].type = LM_PhidgetChannelType(value.toInt());
        break;
    default:
        return false;
    }
    emit dataChanged(index, index, {Qt::EditRole});
    return true;
}

bool PhidgetChannelsModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row > m_channels.size() - count)
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    // Ids first: the iterators would not survive the map detaching.
    QList<int32_t> ids;
    for (auto it = channelAt(row); ids.size() < count; ++it)
        ids.append(it.key());
    for (int32_t id : std::as_const(ids))
        m_channels.remove(id);
    endRemoveRows();
    return true;
}

std::optional<int32_t> PhidgetChannelsModel::addChannel()
{
    if (m_lastId == std::numeric_limits<int32_t>::max())
        return std::nullopt;
    const int row = int(m_channels.size());
    beginInsertRows(QModelIndex(), row, row);
    const int32_t id = ++m_lastId;
    LM_PhidgetChannel channel;
    channel.name = QStringLiteral("Channel %1").arg(qint64(id) + 1);
    channel.hubPort = -1;
    channel.channelNumber = -1;
    channel.isVINTDigital = false;
    channel.type = LM_PhidgetChannelType(0);
    m_channels.insert(id, channel);
    endInsertRows();
    return id;
}

QWidget *ChannelEditorDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    switch (index.column()) {
    case PhidgetChannelsModel::HubPortColumn:
    case PhidgetChannelsModel::ChannelColumn: {
        auto *spinBox = new QSpinBox(parent);
        spinBox->setFrame(false);
        spinBox->setRange(-1, std::numeric_limits<int>::max());
        spinBox->setSpecialValueText(QStringLiteral("Unspecified"));
        return spinBox;
    }
    case PhidgetChannelsModel::TypeColumn: {
        auto *comboBox = new QComboBox(parent);
        for (int type : {LM_DIGITAL_INPUT, LM_DIGITAL_OUTPUT, LM_ENCODER})
            comboBox->addItem(phidgetChannelTypeWord(type), type);
        return comboBox;
    }
    default:
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
}

void ChannelEditorDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    switch (index.column()) {
    case PhidgetChannelsModel::HubPortColumn:
    case PhidgetChannelsModel::ChannelColumn:
        if (auto *spinBox = qobject_cast<QSpinBox *>(editor)) {
            spinBox->setValue(index.data(Qt::EditRole).toInt());
            return;
        }
        break;
    case PhidgetChannelsModel::TypeColumn:
        if (auto *comboBox = qobject_cast<QComboBox *>(editor)) {
            // An unknown type matches no item: the combo stays on its first one.
            const int item
                = comboBox->findText(phidgetChannelTypeWord(index.data(Qt::EditRole).toInt()));
            if (item >= 0)
                comboBox->setCurrentIndex(item);
            return;
        }
        break;
    default:
        break;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void ChannelEditorDelegate::setModelData(
    QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    switch (index.column()) {
    case PhidgetChannelsModel::HubPortColumn:
    case PhidgetChannelsModel::ChannelColumn:
        if (auto *spinBox = qobject_cast<QSpinBox *>(editor)) {
            // Text typed but not yet confirmed counts too.
            spinBox->interpretText();
            model->setData(index, spinBox->value(), Qt::EditRole);
            return;
        }
        break;
    case PhidgetChannelsModel::TypeColumn:
        if (auto *comboBox = qobject_cast<QComboBox *>(editor)) {
            model->setData(index, comboBox->currentData().toInt(), Qt::EditRole);
            return;
        }
        break;
    default:
        break;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void ChannelEditorDelegate::updateEditorGeometry(
    QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
