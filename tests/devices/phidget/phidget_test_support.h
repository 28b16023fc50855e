#pragma once

#include "phidget_bridge.h"

#include <NodeTypeRegistry.h>
#include <Show.h>

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

class INodeController;

// Host data types plus the plug-in's node types.
NodeTypeRegistry makePhidgetRegistry();

// One host instance: the producer, or media server `localId` (> 0). Every instance knows
// media server 1 at 127.0.0.2.
std::unique_ptr<Show> makeInstance(const NodeTypeRegistry &registry, int localId = 0);

// A Phidget device `number` with that configuration, added to the show (not started).
PhidgetDevice *addPhidgetDevice(
    Show &show, int number, const PhidgetDeviceConfig &config, const QString &name = "Board");

LM_PhidgetChannel phidgetChannel(
    LM_PhidgetChannelType type, int channelNumber, int hubPort = -1, bool vint = false);

// A node of that controller type whose "Channel" designates (device, channel id).
template<class Controller>
Controller *addChannelNode(Show &show, int deviceNumber, int channelId);

// The stand-in's call log, one call per entry; calls of these names only when given.
QStringList simCalls(const QStringList &names = {});
// Only the call names, in order.
QStringList simCallNames(const QStringList &names = {});
void simClear();
// Delivers what the stand-in has queued, then what Qt has queued for this thread.
void deliverEvents();

// The Qt messages of its lifetime, as (type, text), with info enabled in the log mode.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    QList<QPair<QtMsgType, QString>> messages() const;
    QStringList texts() const;
    // The text of "[PHIDGET] <message> Error <code>: <description>".
    static QString failure(const char *message, PhidgetReturnCode code);
};
