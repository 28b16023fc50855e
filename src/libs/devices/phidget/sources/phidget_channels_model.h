#pragma once

#include "phidget_config.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

#include <cstdint>
#include <optional>

// The channels of one device as a table: name, hub port, channel number, VINT
// digital, type; row r is the r-th channel in ascending id order and the user role
// gives its id. Works on its own copy of the map from the first edit on, so the
// device is untouched until the caller takes channels() back.
class PhidgetChannelsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, HubPortColumn, ChannelColumn, VintDigitalColumn, TypeColumn };
    static constexpr int s_columnCount = 5;
    // Pixel widths that the setup dialog and the picker give the columns.
    static constexpr int s_columnWidths[s_columnCount] = {120, 80, 80, 80, 200};

    explicit PhidgetChannelsModel(const PhidgetChannelMap &channels, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Only the edit role is written.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    // Appends a channel under an id above every id seen so far and returns that id;
    // nothing (and nothing added) once no greater id is left. Not -1 for that: after a
    // stored id of -2 the next id is -1.
    std::optional<int32_t> addChannel();

    const PhidgetChannelMap &channels() const { return m_channels; }
    int32_t lastId() const { return m_lastId; }

private:
    PhidgetChannelMap::const_iterator channelAt(int row) const;

    PhidgetChannelMap m_channels;
    // Never lowered by a removal, so ids are not reused while the model lives.
    int32_t m_lastId;
};

// Spin boxes for the hub port and channel number (-1 shown as "Unspecified"), a
// combo box of the three channel kinds for the type, the standard editors elsewhere.
class ChannelEditorDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(
        QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
};
