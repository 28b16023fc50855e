#pragma once

#include <cstdint>

class PhidgetDevice;

// Process-wide registry of the channel contexts that Phidget22 hands back to the runtime's
// handlers: a context id stands for one device and channel id.
//
// Phidget22 gets a context id widened to a pointer, never an object pointer: a handler
// that fires after its context was removed finds nothing, so nothing Phidget22 holds can
// lead to a freed device.
//
// A handler looks its context up under the mutex and emits after releasing it. To keep a
// runtime's teardown from returning while one of its handlers is between lookup and the end
// of its emission, each lookup counts an emission in progress on the device, and teardown
// waits (after removing the contexts, so no new emission can start) until the device's
// count is back to zero.
//
// Emitting under the mutex would give the same guarantee, but Qt's queued emission
// allocates and takes Qt's own locks, and a receiver connected directly would run its slot
// under our mutex: any slot that reaches the registry again, or a Phidget22 call that waits
// for its dispatcher while another dispatcher thread sits on our mutex, could deadlock. With
// the counting design the mutex is only ever held for a hash lookup or update and never
// while emitting, logging or calling Phidget22, and the waiting side (the host's thread)
// holds nothing that a handler needs: Phidget_close may wait for callbacks in progress, and
// those callbacks never wait for the host's thread. The one thing a receiver must not do is
// block a handler on the host's thread (a blocking queued or direct connection that destroys
// the device); every receiver connects queued.
class PhidgetContextRegistry
{
public:
    PhidgetContextRegistry() = delete;

    // A new context id for `channelId` of `device`; -1 once ids are exhausted. Host's thread.
    static int32_t registerContext(PhidgetDevice *device, int32_t channelId);
    // A handler that looks the id up afterwards finds nothing. Host's thread.
    static void removeContext(int32_t id);
    // Returns once no handler is emitting on `device`; called after the device's contexts are
    // removed, so that none can start. Host's thread.
    static void waitForEmissions(const PhidgetDevice *device);

    // The context Phidget22 is given for an id: the id itself, widened to a pointer.
    static void *contextPointer(int32_t id);

    // Makes the registry now if it is not made yet: static objects whose construction calls
    // this are destroyed before the registry, so a handler running while they are destroyed
    // still finds it.
    static void create();

    // One emission on the device of a context, from lookup to the end of the emission; on
    // Phidget22's threads. `device` is null when the context is not registered.
    class Emission
    {
    public:
        explicit Emission(void *context);
        ~Emission();
        Emission(const Emission &) = delete;
        Emission &operator=(const Emission &) = delete;

        PhidgetDevice *device = nullptr;
        int32_t channelId = -1;
    };
};
