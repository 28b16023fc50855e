#pragma once

#include "ui_PhidgetDeviceSetup.h"

#include <QDialog>
#include <QMap>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <functional>

class PhidgetChannelsModel;
class PhidgetDevice;
class QSortFilterProxyModel;

// Edits a Phidget device's name, board, server and channels. Nothing reaches the
// device until apply(), which the caller runs after the dialog was accepted. OK stays
// disabled while a value is out of range, and the label above it says which. GUI thread
// only, like the device it edits.
class PhidgetDeviceSetup : public QDialog, public Ui::PhidgetDeviceSetup
{
    Q_OBJECT
public:
    explicit PhidgetDeviceSetup(PhidgetDevice *device, QWidget *parent = nullptr);

    // Writes the name and a whole new configuration into the device; false, changing
    // nothing, when the device was deleted while the dialog was open or a value is out
    // of range.
    bool apply();

    // What keeps OK disabled, one line per value out of range; empty when none is.
    QStringList problems() const;

    // Asked before a channel that nodes use is deleted; true deletes it. A message box
    // by default; tests answer it themselves.
    using Question = std::function<bool(const QString &text)>;
    void setDeleteQuestion(Question question) { m_deleteQuestion = std::move(question); }

private slots:
    void onAddChannel();
    void onDeleteChannel();
    void onServerIndexChanged(int index);

private:
    void updateOk();
    // Channel id to the nodes of the device's show that designate that channel.
    QMap<int32_t, QStringList> channelUsers() const;

    // Not owned. Guarded: the host may delete the device while the dialog runs modally.
    QPointer<PhidgetDevice> m_device;
    PhidgetChannelsModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    Question m_deleteQuestion;
};
