#include "phidget_runtime_p.h"

#include "phidget_context_registry.h"
#include "phidget_log.h"
#include "phidget_plugin_exit.h"
#include "phidget_server_manager.h"

#include <LMLog.h>
#include <Show.h>

#include <QHostAddress>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// ---- Digital output writes in flight. ----
//
// A completion runs plug-in code (setStateDone) on Phidget22's thread. Writes are counted per
// handle from the request to the end of their completion; a runtime's teardown waits for its
// handles' writes before it closes them, and the plug-in's unload waits for any still counted,
// so no completion calls into a plug-in that is gone. Both waits are bounded: a vendor that
// never completes a request must not hang the host.

const std::chrono::seconds kWriteDrainTimeout(2);

std::mutex s_pendingWritesMutex;
// Guarded by s_pendingWritesMutex.
QHash<PhidgetHandle, int> s_pendingWrites;
std::condition_variable s_writesDone;

void beginWrite(PhidgetHandle handle)
{
    const std::lock_guard<std::mutex> lock(s_pendingWritesMutex);
    ++s_pendingWrites[handle];
}

void endWrite(PhidgetHandle handle)
{
    const std::lock_guard<std::mutex> lock(s_pendingWritesMutex);
    const auto it = s_pendingWrites.find(handle);
    if (it == s_pendingWrites.end()) // a write that was not counted
        return;
    if (--it.value() <= 0)
        s_pendingWrites.erase(it);
    s_writesDone.notify_all();
}

// Waits until none of `handles` (all when empty) has a write in flight; false on time-out, after
// which those writes are no longer waited for.
bool waitForWrites(const QList<PhidgetHandle> &handles)
{
    std::unique_lock<std::mutex> lock(s_pendingWritesMutex);
    const auto drained = [&handles] {
        if (handles.isEmpty())
            return s_pendingWrites.isEmpty();
        for (PhidgetHandle handle : handles) {
            if (s_pendingWrites.contains(handle))
                return false;
        }
        return true;
    };
    if (s_writesDone.wait_for(lock, kWriteDrainTimeout, drained))
        return true;
    if (handles.isEmpty())
        s_pendingWrites.clear();
    for (PhidgetHandle handle : handles)
        s_pendingWrites.remove(handle);
    return false;
}

// Destroyed when the plug-in is unloaded (after the tables above, which are declared first).
// Not when the process exits on Windows: Phidget22's threads are ended by then, so no
// completion can come, and a lock that an ended thread held would never be released.
struct WriteDrainAtUnload
{
    // The context registry outlives this wait: a channel still open at exit may call a handler
    // during it.
    WriteDrainAtUnload() { PhidgetContextRegistry::create(); }
    ~WriteDrainAtUnload()
    {
        if (!processIsExiting())
            waitForWrites({});
    }
} s_writeDrainAtUnload;

// ---- Phidget22 handlers, on Phidget22's threads. ----

void CCONV onDigitalInputStateChange(PhidgetDigitalInputHandle, void *context, int state)
{
    const PhidgetContextRegistry::Emission emission(context);
    if (emission.device)
        emit emission.device->digitalInputChanged(emission.channelId, state != 0);
}

void CCONV onEncoderPositionChange(
    PhidgetEncoderHandle handle, void *context, int positionChange, double, int)
{
    int64_t position = 0;
    const PhidgetReturnCode result = PhidgetEncoder_getPosition(handle, &position);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("PhidgetEncoder_getPosition failed.", result);
        return;
    }
    const PhidgetContextRegistry::Emission emission(context);
    if (emission.device)
        emit emission.device->encoderPositionChanged(emission.channelId, position, positionChange);
}

void CCONV onAttachHandler(PhidgetHandle handle, void *)
{
    if (LMLog::modeContains(LOG::INFO))
        qCInfo(LMLog::s_lmLogCat).noquote()
            << "[PHIDGET] Channel attached" << static_cast<const void *>(handle);
}

void CCONV onDetachHandler(PhidgetHandle handle, void *context)
{
    const PhidgetContextRegistry::Emission emission(context);
    if (!emission.device)
        return;
    if (LMLog::modeContains(LOG::INFO))
        qCInfo(LMLog::s_lmLogCat).noquote()
            << "[PHIDGET] Channel detached" << static_cast<const void *>(handle);
    emit emission.device->channelDetached(emission.channelId);
}

void CCONV onErrorHandler(
    PhidgetHandle handle, void *, Phidget_ErrorEventCode code, const char *description)
{
    if (LMLog::modeContains(LOG::WARNING))
        qCWarning(LMLog::s_lmLogCat).noquote()
            << "[PHIDGET] Error" << int(code) << "on channel" << static_cast<const void *>(handle)
            << ":" << QString::fromUtf8(description ? description : "");
}

} // namespace

void CCONV setStateDone(PhidgetHandle handle, void *, PhidgetReturnCode result)
{
    if (result != EPHIDGET_OK)
        PHIDGET_LOG_FAILURE("PhidgetDigitalOutput_setState_async failed.", result);
    // Last: once counted down, the plug-in may be unloaded.
    endWrite(handle);
}

PhidgetDevice::Runtime::Runtime(PhidgetDevice *device, int32_t serialNumber, int32_t mediaServerId,
    const QString &producerServerAddress, const PhidgetChannelMap &channels)
    : m_device(device)
    , m_serialNumber(serialNumber)
    , m_mediaServerId(mediaServerId)
    , m_producerServerAddress(producerServerAddress)
    , m_channels(channels)
{ }

PhidgetDevice::Runtime::~Runtime()
{
    // Writes still in flight complete while their handles are open.
    QList<PhidgetHandle> outputs;
    for (auto it = m_channels.cbegin(); it != m_channels.cend(); ++it) {
        if (it.value().type == LM_DIGITAL_OUTPUT && m_channelHandles.contains(it.key()))
            outputs << m_channelHandles.value(it.key());
    }
    if (!outputs.isEmpty() && !waitForWrites(outputs) && LMLog::modeContains(LOG::WARNING))
        qCWarning(LMLog::s_lmLogCat).noquote()
            << "[PHIDGET] Digital output writes not completed for device" << m_device->name();

    // Ascending channel ids, so that the calls come in a repeatable order.
    for (auto it = m_channels.cbegin(); it != m_channels.cend(); ++it) {
        if (PhidgetHandle handle = m_channelHandles.value(it.key()))
            deleteChannel(handle, it.value().type);
    }
    m_channelHandles.clear();
    // Nothing should be left; a context still registered must not outlive the runtime.
    for (const int32_t id : std::as_const(m_contextIds))
        PhidgetContextRegistry::removeContext(id);
    m_contextIds.clear();

    if (m_serverJoined) {
        PhidgetServerManager::disconnectFromServer(m_serverAddress);
        if (m_serverStarted)
            PhidgetServerManager::stopServer();
    }
    PhidgetContextRegistry::waitForEmissions(m_device);
}

void PhidgetDevice::Runtime::start()
{
    m_hostsBoard = PhidgetDevice::isHostingInstance(m_device->show(), m_mediaServerId);

    QString addressText;
    if (!resolveAddressText(&addressText)) {
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote()
                << "[PHIDGET] Invalid Phidget server for device" << m_device->name();
        return;
    }
    QHostAddress address;
    if (!address.setAddress(addressText)) {
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote()
                << "[PHIDGET] Invalid Phidget server address for device" << m_device->name() << ":"
                << addressText;
        return;
    }
    m_serverAddress = addressText.toStdString();
    m_serverJoined = true;

    if (m_hostsBoard) {
        // A failed start counts as a use too, so it is released like one.
        m_serverStarted = true;
        if (!PhidgetServerManager::startServer(m_serverAddress)
            && LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote() << "[PHIDGET] Failed to start server";
    }
    PhidgetServerManager::connectToServer(m_serverAddress);

    for (auto it = m_channels.cbegin(); it != m_channels.cend(); ++it) {
        const LM_PhidgetChannel &channel = it.value();
        PhidgetHandle handle = phidgetChannelFactory(channel.type, it.key());
        if (!handle)
            continue;
        if (initChannel(handle, uint32_t(m_serialNumber), it.key(), channel))
            m_channelHandles.insert(it.key(), handle);
        else
            deleteChannel(handle, channel.type);
    }
}

bool PhidgetDevice::Runtime::resolveAddressText(QString *text) const
{
    if (m_mediaServerId == 0) {
        *text = m_producerServerAddress;
    } else {
        const MediaServers &servers = m_device->getMediaServers();
        const auto it = servers.constFind(m_mediaServerId);
        if (it == servers.cend() || !it.value())
            return false;
        *text = it.value()->networkAddress();
    }
    // QHostAddress would accept the spaces around an address; Phidget22 would not.
    *text = text->trimmed();
    return true;
}

bool PhidgetDevice::Runtime::isCurrentFor(const PhidgetDeviceConfig &config) const
{
    if (config.serialNumber != m_serialNumber || config.mediaServerId != m_mediaServerId
        || config.producerServerAddress != m_producerServerAddress
        || !(config.channels == m_channels))
        return false;
    // A start that stopped early, or a channel that failed to open, is tried again.
    if (!m_serverJoined)
        return false;
    for (auto it = m_channels.cbegin(); it != m_channels.cend(); ++it) {
        const LM_PhidgetChannelType type = it.value().type;
        const bool known
            = type == LM_DIGITAL_INPUT || type == LM_DIGITAL_OUTPUT || type == LM_ENCODER;
        if (known && !m_channelHandles.contains(it.key()))
            return false;
    }
    // The show may have changed around the device: its mode, or its media servers' addresses.
    QString addressText;
    return PhidgetDevice::isHostingInstance(m_device->show(), m_mediaServerId) == m_hostsBoard
        && resolveAddressText(&addressText) && addressText.toStdString() == m_serverAddress;
}

bool PhidgetDevice::Runtime::writeDigitalOutput(int channelId, bool state) const
{
    // Every instance has the channel open; only the one with the board drives it.
    if (!m_hostsBoard)
        return false;
    const PhidgetHandle handle = channelHandle(channelId, LM_DIGITAL_OUTPUT);
    if (!handle)
        return false;
    beginWrite(handle);
    // A failure comes back through setStateDone, which logs it.
    PhidgetDigitalOutput_setState_async(
        reinterpret_cast<PhidgetDigitalOutputHandle>(handle), state ? 1 : 0, setStateDone, nullptr);
    return true;
}

PhidgetHandle PhidgetDevice::Runtime::channelHandle(int channelId) const
{
    return m_channelHandles.value(channelId, nullptr);
}

PhidgetHandle PhidgetDevice::Runtime::channelHandle(int channelId, LM_PhidgetChannelType type) const
{
    const auto it = m_channels.constFind(channelId);
    if (it == m_channels.cend() || it.value().type != type)
        return nullptr;
    return channelHandle(channelId);
}

// ---- Channel factory: the handles made, configured and deleted on the host's thread. ----

namespace {

// A new channel of a class that reports values, with its change handler installed on the
// channel's context; null, and nothing left behind, when a step fails.
template<typename Channel, typename Handler>
PhidgetHandle createReportingChannel(PhidgetDevice::Runtime &runtime, LM_PhidgetChannelType type,
    int channelId, PhidgetReturnCode(CCONV *create)(Channel *), const char *createFailed,
    PhidgetReturnCode(CCONV *setHandler)(Channel, Handler, void *), Handler handler,
    const char *setHandlerFailed)
{
    Channel channel = nullptr;
    PhidgetReturnCode result = create(&channel);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE(createFailed, result);
        return nullptr;
    }
    const auto handle = reinterpret_cast<PhidgetHandle>(channel);
    result = setHandler(channel, handler,
        PhidgetContextRegistry::contextPointer(runtime.registerChannelContext(handle, channelId)));
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE(setHandlerFailed, result);
        runtime.deleteChannel(handle, type);
        return nullptr;
    }
    return handle;
}

// Deletes `handle` as the channel class that `del` deletes, logging a failure as `failed`.
template<typename Channel>
void deleteAs(PhidgetHandle handle, PhidgetReturnCode(CCONV *del)(Channel *), const char *failed)
{
    auto channel = reinterpret_cast<Channel>(handle);
    const PhidgetReturnCode result = del(&channel);
    if (result != EPHIDGET_OK)
        PHIDGET_LOG_FAILURE(failed, result);
}

} // namespace

PhidgetHandle PhidgetDevice::Runtime::phidgetChannelFactory(
    LM_PhidgetChannelType type, int channelId)
{
    switch (type) {
    case LM_DIGITAL_INPUT:
        return createReportingChannel(*this, type, channelId, PhidgetDigitalInput_create,
            "PhidgetDigitalInput_create failed.", PhidgetDigitalInput_setOnStateChangeHandler,
            onDigitalInputStateChange, "PhidgetDigitalInput_setOnStateChangeHandler failed.");
    case LM_DIGITAL_OUTPUT: {
        PhidgetDigitalOutputHandle channel = nullptr;
        const PhidgetReturnCode result = PhidgetDigitalOutput_create(&channel);
        if (result != EPHIDGET_OK) {
            PHIDGET_LOG_FAILURE("PhidgetDigitalOutput_create failed.", result);
            return nullptr;
        }
        return reinterpret_cast<PhidgetHandle>(channel);
    }
    case LM_ENCODER:
        return createReportingChannel(*this, type, channelId, PhidgetEncoder_create,
            "PhidgetEncoder_create failed.", PhidgetEncoder_setOnPositionChangeHandler,
            onEncoderPositionChange, "PhidgetEncoder_setOnPositionChangeHandler failed.");
    }
    return nullptr;
}

bool PhidgetDevice::Runtime::initChannel(
    PhidgetHandle handle, uint32_t serialNumber, int channelId, LM_PhidgetChannel channel)
{
    void *context
        = PhidgetContextRegistry::contextPointer(registerChannelContext(handle, channelId));
    PhidgetReturnCode result = Phidget_setOnAttachHandler(handle, onAttachHandler, context);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("Phidget_setOnAttachHandler failed.", result);
        return false;
    }
    result = Phidget_setOnDetachHandler(handle, onDetachHandler, context);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("Phidget_setOnDetachHandler failed.", result);
        return false;
    }
    result = Phidget_setOnErrorHandler(handle, onErrorHandler, context);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("Phidget_setOnErrorHandler failed.", result);
        return false;
    }
    if (serialNumber != uint32_t(-1)) {
        result = Phidget_setDeviceSerialNumber(handle, int32_t(serialNumber));
        if (result != EPHIDGET_OK) {
            PHIDGET_LOG_FAILURE("Phidget_setDeviceSerialNumber failed.", result);
            return false;
        }
    }
    if (channel.hubPort != -1) {
        result = Phidget_setHubPort(handle, channel.hubPort);
        if (result != EPHIDGET_OK) {
            PHIDGET_LOG_FAILURE("Phidget_setHubPort failed.", result);
            return false;
        }
    }
    if (channel.channelNumber != -1) {
        result = Phidget_setChannel(handle, channel.channelNumber);
        if (result != EPHIDGET_OK) {
            PHIDGET_LOG_FAILURE("Phidget_setChannel failed.", result);
            return false;
        }
    }
    result = Phidget_setIsHubPortDevice(handle, channel.isVINTDigital ? 1 : 0);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("Phidget_setIsHubPortDevice failed.", result);
        return false;
    }
    // Always through a network server, also on the machine that has the board.
    result = Phidget_setIsRemote(handle, 1);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("Phidget_setIsRemote failed.", result);
        return false;
    }
    // Only through this device's server: an open takes the first matching channel that any
    // server offers, so with serial -1 it could take another device's board.
    result
        = Phidget_setServerName(handle, PhidgetServerManager::serverName(m_serverAddress).c_str());
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("Phidget_setServerName failed.", result);
        return false;
    }
    // Non-blocking: an absent board attaches whenever Phidget22 finds it.
    result = Phidget_open(handle);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("Phidget_open failed.", result);
        return false;
    }
    return true;
}

void PhidgetDevice::Runtime::deleteChannel(PhidgetHandle handle, LM_PhidgetChannelType type)
{
    // The context goes before the close: an event delivered during or after it is dropped.
    const auto it = m_contextIds.find(handle);
    if (it != m_contextIds.end()) {
        PhidgetContextRegistry::removeContext(it.value());
        m_contextIds.erase(it);
    }

    const PhidgetReturnCode result = Phidget_close(handle);
    if (result != EPHIDGET_OK)
        PHIDGET_LOG_FAILURE("Phidget_close failed.", result);

    switch (type) {
    case LM_DIGITAL_INPUT:
        deleteAs(handle, PhidgetDigitalInput_delete, "PhidgetDigitalInput_delete failed.");
        break;
    case LM_DIGITAL_OUTPUT:
        deleteAs(handle, PhidgetDigitalOutput_delete, "PhidgetDigitalOutput_delete failed.");
        break;
    case LM_ENCODER:
        deleteAs(handle, PhidgetEncoder_delete, "PhidgetEncoder_delete failed.");
        break;
    }
}

int32_t PhidgetDevice::Runtime::registerChannelContext(PhidgetHandle handle, int channelId)
{
    const auto it = m_contextIds.constFind(handle);
    if (it != m_contextIds.cend())
        return it.value();
    const int32_t id = PhidgetContextRegistry::registerContext(m_device, channelId);
    if (id < 0)
        return -1;
    m_contextIds.insert(handle, id);
    return id;
}
