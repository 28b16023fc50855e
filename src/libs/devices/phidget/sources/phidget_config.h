#pragma once

#include <QMap>
#include <QString>

#include <cstdint>

class QDomElement;
class XmlWriter;

// The Phidget22 channel class codes of the kinds the plug-in opens.
enum LM_PhidgetChannelType : int32_t {
    LM_DIGITAL_INPUT = 5,
    LM_DIGITAL_OUTPUT = 6,
    LM_ENCODER = 8,
};

// "DIGITAL_INPUT", "DIGITAL_OUTPUT", "ENCODER", or "UNKNOWN" for any other value.
QString phidgetChannelTypeWord(int type);

// One configured channel of a board. -1 in hubPort or channelNumber leaves that
// Phidget22 property unset.
struct LM_PhidgetChannel
{
    QString name;
    int32_t hubPort = -1;
    int32_t channelNumber = -1;
    bool isVINTDigital = false;
    // Stored as read; a value that is no known kind makes the runtime skip the channel.
    LM_PhidgetChannelType type = LM_PhidgetChannelType(0);

    // Reads every field from a "channel" element, missing attributes taking their
    // defaults; returns the element's "id" (0 when missing).
    int32_t readDom(const QDomElement &element);
    // Writes one "channel" element with this channel under `id`.
    void writeXml(XmlWriter &writer, int32_t id) const;

    bool operator==(const LM_PhidgetChannel &other) const;
    bool operator!=(const LM_PhidgetChannel &other) const { return !(*this == other); }
};

// Channel id (the user's handle of a channel) to channel, ascending ids. Implicitly
// shared: the runtime and the dialogs take cheap copies, detaching on the first edit.
using PhidgetChannelMap = QMap<int32_t, LM_PhidgetChannel>;

// What a Phidget device is configured with; stored in the show.
struct PhidgetDeviceConfig
{
    // -1: any board.
    int32_t serialNumber = -1;
    // The media server whose machine has the board and runs the server; 0: the producer.
    int32_t mediaServerId = 0;
    // The server's address when mediaServerId is 0.
    QString producerServerAddress;
    PhidgetChannelMap channels;

    // Reads the device attributes and merges the "channel" children into `channels`
    // (an id already present is overwritten, others stay).
    void readDom(const QDomElement &element);
    // The device attributes, then one "channel" element per channel in ascending id order.
    void writeXml(XmlWriter &writer) const;
};
