#pragma once

//
//  W A R N I N G
//  -------------
//
// This file is not part of the phidget_bridge plug-in's interface. It exists purely as an
// implementation detail of PhidgetDevice, for the plug-in's node controllers and its tests.
// It may change from version to version without notice, or even be removed.
//
// We mean it.
//

#include "phidget_bridge.h"
#include "phidget_config.h"

#include <phidget22.h>

#include <QHash>
#include <QString>

#include <cstdint>
#include <string>

// What a device runs between one init() and the next: the server joined and the
// channel handles opened from a snapshot of the configuration. Created, used and
// destroyed on the host's thread; only its Phidget22 handlers run elsewhere.
class PhidgetDevice::Runtime
{
public:
    Runtime(PhidgetDevice *device, int32_t serialNumber, int32_t mediaServerId,
        const QString &producerServerAddress, const PhidgetChannelMap &channels);
    // Closes and deletes every handle, releases the server, and returns only when no
    // handler is still emitting on the device.
    ~Runtime();
    Runtime(const Runtime &) = delete;
    Runtime &operator=(const Runtime &) = delete;

    // Called once, right after construction.
    void start();

    // The opened handle of a channel id, or null when that channel is not open.
    PhidgetHandle channelHandle(int channelId) const;
    // The same, but null too when the channel was opened as another type.
    PhidgetHandle channelHandle(int channelId, LM_PhidgetChannelType type) const;
    bool serverJoined() const { return m_serverJoined; }
    const std::string &serverAddress() const { return m_serverAddress; }
    // Whether start() found this instance to be the one with the board; the output writes
    // follow the same decision as the server start.
    bool hostsBoard() const { return m_hostsBoard; }

    // Whether a runtime started now from `config` would do just what this one does: the same
    // snapshot, hosting decision and server address, and every channel of a known kind open.
    bool isCurrentFor(const PhidgetDeviceConfig &config) const;

    // Sets a digital output channel, asynchronously, on the hosting instance only; false when
    // nothing was sent (not hosting, channel not open as an output). Teardown waits for the
    // completions of the writes sent, so none arrives once the runtime is gone.
    bool writeDigitalOutput(int channelId, bool state) const;

    // A new handle of that type with its data handler installed, or null (also, silently,
    // for a type that is no known kind).
    PhidgetHandle phidgetChannelFactory(LM_PhidgetChannelType type, int channelId);
    // Installs the attach, detach and error handlers, sets the addressing and opens the
    // channel without waiting for it to attach.
    bool initChannel(
        PhidgetHandle handle, uint32_t serialNumber, int channelId, LM_PhidgetChannel channel);
    // Forgets the handle's context, then closes and deletes the handle.
    void deleteChannel(PhidgetHandle handle, LM_PhidgetChannelType type);
    // The handle's context id, registered on first use; -1 once ids are exhausted.
    int32_t registerChannelContext(PhidgetHandle handle, int channelId);

private:
    // The trimmed address text of the device's server; false when its media server is unknown.
    bool resolveAddressText(QString *text) const;

    // All members belong to the host's thread.
    PhidgetDevice *m_device;
    int32_t m_serialNumber;
    int32_t m_mediaServerId;
    QString m_producerServerAddress;
    PhidgetChannelMap m_channels;
    QHash<int, PhidgetHandle> m_channelHandles;
    QHash<PhidgetHandle, int32_t> m_contextIds;
    std::string m_serverAddress;
    bool m_serverJoined = false;
    bool m_hostsBoard = false;
    // Whether start() called PhidgetServerManager::startServer: teardown stops the server
    // exactly then, whatever the show says by that time.
    bool m_serverStarted = false;
};

// Completion handler of PhidgetDigitalOutput_setState_async: logs a failed write and ends the
// wait for a write that Runtime::writeDigitalOutput sent.
void CCONV setStateDone(PhidgetHandle handle, void *context, PhidgetReturnCode result);
