#include "phidget_context_registry.h"

#include <QHash>

#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>

namespace {

struct ChannelContext
{
    PhidgetDevice *device;
    int32_t channelId;
};

struct Registry
{
    // std::mutex rather than QMutex: ThreadSanitizer sees its synchronisation even where Qt is
    // not instrumented.
    std::mutex channelContextMutex;
    // Everything below is guarded by channelContextMutex.
    QHash<int32_t, ChannelContext> channelContextRegistry;
    int32_t nextContextId = 0;
    QHash<const PhidgetDevice *, int> emissionsInProgress;
    int teardownsWaiting = 0;
    std::condition_variable emissionsDone;
};

// Made on first use (see PhidgetContextRegistry::create), destroyed when the plug-in is unloaded.
Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

int32_t PhidgetContextRegistry::registerContext(PhidgetDevice *device, int32_t channelId)
{
    Registry &r = registry();
    const std::lock_guard<std::mutex> lock(r.channelContextMutex);
    // Ids are never reused; once the counter is spent no further context is registered
    // and the handle's events are dropped.
    if (r.nextContextId == std::numeric_limits<int32_t>::max())
        return -1;
    const int32_t id = r.nextContextId++;
    r.channelContextRegistry.insert(id, ChannelContext {device, channelId});
    return id;
}

void PhidgetContextRegistry::removeContext(int32_t id)
{
    Registry &r = registry();
    const std::lock_guard<std::mutex> lock(r.channelContextMutex);
    r.channelContextRegistry.remove(id);
}

void PhidgetContextRegistry::waitForEmissions(const PhidgetDevice *device)
{
    Registry &r = registry();
    std::unique_lock<std::mutex> lock(r.channelContextMutex);
    ++r.teardownsWaiting;
    r.emissionsDone.wait(lock, [&r, device] { return r.emissionsInProgress.value(device) == 0; });
    --r.teardownsWaiting;
    r.emissionsInProgress.remove(device);
}

void *PhidgetContextRegistry::contextPointer(int32_t id)
{
    return reinterpret_cast<void *>(static_cast<intptr_t>(id));
}

void PhidgetContextRegistry::create()
{
    registry();
}

PhidgetContextRegistry::Emission::Emission(void *context)
{
    const intptr_t value = reinterpret_cast<intptr_t>(context);
    if (value < 0 || value > std::numeric_limits<int32_t>::max())
        return;
    Registry &r = registry();
    const std::lock_guard<std::mutex> lock(r.channelContextMutex);
    const auto it = r.channelContextRegistry.constFind(int32_t(value));
    if (it == r.channelContextRegistry.cend())
        return;
    device = it->device;
    channelId = it->channelId;
    ++r.emissionsInProgress[device];
}

PhidgetContextRegistry::Emission::~Emission()
{
    if (!device)
        return;
    Registry &r = registry();
    const std::lock_guard<std::mutex> lock(r.channelContextMutex);
    // The entry stays (no allocation per event); the device's teardown removes it.
    if (--r.emissionsInProgress[device] == 0 && r.teardownsWaiting > 0)
        r.emissionsDone.notify_all();
}
