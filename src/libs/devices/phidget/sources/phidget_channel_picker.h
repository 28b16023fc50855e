#pragma once

#include "phidget_channel_data.h"
#include "ui_PhidgetChannelPickerDialog.h"

#include <QDialog>
#include <QPointer>
#include <QSortFilterProxyModel>

#include <cstdint>
#include <optional>

class Show;

// Passes the channels of one type only (the "Type" column's edit role).
class PhidgetChannelProxyModel : public QSortFilterProxyModel
{
public:
    explicit PhidgetChannelProxyModel(int32_t acceptedType, QObject *parent = nullptr);

    int32_t acceptedType() const { return m_acceptedType; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    int32_t m_acceptedType;
};

// Lets the user pick one of the show's Phidget devices, then one of its channels of the
// accepted type. After an accepted exec(), selectedChannel() holds the choice, or
// nothing when the user confirmed without choosing a channel. GUI thread only; it reads
// the devices' configurations, which change on that thread alone.
class PhidgetChannelPickerDialog : public QDialog
{
    Q_OBJECT
public:
    // show may be null: no devices are offered then.
    PhidgetChannelPickerDialog(Show *show, int32_t deviceId, int32_t channelId,
        int32_t acceptedType, QWidget *parent = nullptr);

    const std::optional<PhidgetChannelData> &selectedChannel() const { return m_result; }

private slots:
    void onDeviceChanged();
    void onConfirm();
    void onShowDestroyed();

private:
    bool hasPhidgetDevices() const;

    Ui::PhidgetChannelPickerDialog m_ui;
    // Not owned; the host may delete the show while the dialog runs.
    QPointer<Show> m_show;
    int32_t m_initialDeviceId;
    int32_t m_initialChannelId;
    int32_t m_acceptedType;
    std::optional<PhidgetChannelData> m_result;
    PhidgetChannelProxyModel *m_proxy;
};
