// Concurrency stress of the Phidget22 stand-in, built with ThreadSanitizer: two host threads
// open, write and close channels while inputs, encoders, boards, servers and client entries
// change on other threads. Fails on a data race (TSan) or on a handler call that arrives after
// Phidget_close returned.
#include "phidget22_sim.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <thread>

namespace {

const char *const kAddress = "127.0.0.1";
const char *const kName = "Lumora Phidget Server 127.0.0.1";

struct Slot
{
    std::atomic<int> calls {0};
    int atClose = 0;
    bool closeFromHandler = false;
};

void CCONV onAttach(PhidgetHandle, void *ctx)
{
    static_cast<Slot *>(ctx)->calls++;
}

void CCONV onDetach(PhidgetHandle, void *ctx)
{
    static_cast<Slot *>(ctx)->calls++;
}

void CCONV onState(PhidgetDigitalInputHandle ch, void *ctx, int)
{
    Slot *slot = static_cast<Slot *>(ctx);
    slot->calls++;
    int state = 0;
    const char *text = nullptr;
    PhidgetDigitalInput_getState(ch, &state);
    Phidget_getErrorDescription(EPHIDGET_NOTATTACHED, &text);
    if (slot->closeFromHandler)
        Phidget_close(PhidgetHandle(ch));
}

void CCONV onPosition(PhidgetEncoderHandle ch, void *ctx, int, double, int)
{
    static_cast<Slot *>(ctx)->calls++;
    int64_t position = 0;
    PhidgetEncoder_getPosition(ch, &position);
}

void CCONV onDone(PhidgetHandle, void *ctx, PhidgetReturnCode)
{
    static_cast<Slot *>(ctx)->calls++;
}

// One host thread: channel after channel, each opened, used a little and closed.
void hostLoop(unsigned seed, const std::atomic<bool> &stop, std::deque<Slot> &slots)
{
    while (!stop) {
        Slot &slot = slots.emplace_back();
        const unsigned kind = (seed = seed * 1103515245u + 12345u) >> 16;
        PhidgetHandle ch = nullptr;
        if (kind % 3 == 0) {
            PhidgetDigitalInputHandle in = nullptr;
            PhidgetDigitalInput_create(&in);
            PhidgetDigitalInput_setOnStateChangeHandler(in, onState, &slot);
            slot.closeFromHandler = kind % 7 == 0;
            ch = PhidgetHandle(in);
        } else if (kind % 3 == 1) {
            PhidgetEncoderHandle enc = nullptr;
            PhidgetEncoder_create(&enc);
            PhidgetEncoder_setOnPositionChangeHandler(enc, onPosition, &slot);
            ch = PhidgetHandle(enc);
        } else {
            PhidgetDigitalOutputHandle out = nullptr;
            PhidgetDigitalOutput_create(&out);
            ch = PhidgetHandle(out);
        }
        Phidget_setOnAttachHandler(ch, onAttach, &slot);
        Phidget_setOnDetachHandler(ch, onDetach, &slot);
        Phidget_setChannel(ch, int(kind % 2));
        Phidget_setIsRemote(ch, 1);
        Phidget_open(ch);
        for (unsigned i = 0; i < kind % 5; ++i) {
            if (kind % 3 == 2)
                PhidgetDigitalOutput_setState_async(
                    PhidgetDigitalOutputHandle(ch), int(i % 2), onDone, &slot);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        Phidget_close(ch);
        slot.atClose = slot.calls;
        if (kind % 3 == 0) {
            PhidgetDigitalInputHandle in = PhidgetDigitalInputHandle(ch);
            PhidgetDigitalInput_delete(&in);
        } else if (kind % 3 == 1) {
            PhidgetEncoderHandle enc = PhidgetEncoderHandle(ch);
            PhidgetEncoder_delete(&enc);
        } else {
            PhidgetDigitalOutputHandle out = PhidgetDigitalOutputHandle(ch);
            PhidgetDigitalOutput_delete(&out);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    const int ms = argc > 1 ? std::atoi(argv[1]) : 1500;
    lmsim_phidget_reset();
    lmsim_phidget_board_create(1001, 0);
    lmsim_phidget_board_add_channels(1001, PHIDCHCLASS_DIGITALINPUT, -1, 2, 0);
    lmsim_phidget_board_add_channels(1001, PHIDCHCLASS_DIGITALOUTPUT, -1, 2, 0);
    lmsim_phidget_board_add_channels(1001, PHIDCHCLASS_ENCODER, -1, 2, 0);
    lmsim_phidget_board_attach(1001, kAddress);
    PhidgetServerHandle server = nullptr;
    PhidgetNet_startServer(0, 2, kName, kAddress, 5661, "", &server);
    PhidgetNet_addServer(kName, kAddress, 5661, "", 0);

    std::atomic<bool> stop {false};
    std::thread inputs([&] {
        for (int i = 0; !stop; ++i) {
            lmsim_phidget_set_digital_input(1001, -1, i % 2, (i / 2) % 2);
            lmsim_phidget_turn_encoder(1001, -1, i % 2, 1 + i % 3);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    std::thread topology([&] {
        for (int i = 0; !stop; ++i) {
            switch (i % 6) {
            case 0:
                lmsim_phidget_board_remove(1001);
                break;
            case 1:
                lmsim_phidget_board_attach(1001, kAddress);
                break;
            case 2:
                lmsim_phidget_set_server_alive(kAddress, 5661, 0);
                break;
            case 3:
                lmsim_phidget_set_server_alive(kAddress, 5661, 1);
                break;
            case 4:
                PhidgetNet_disableServer(kName, 0);
                break;
            case 5:
                PhidgetNet_enableServer(kName);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::deque<Slot> slots[2];
    std::thread hostA([&] { hostLoop(1u, stop, slots[0]); });
    std::thread hostB([&] { hostLoop(7u, stop, slots[1]); });
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    stop = true;
    for (std::thread *t : {&inputs, &topology, &hostA, &hostB})
        t->join();
    PhidgetNet_stopServer(&server);
    const bool drained = lmsim_phidget_wait_idle(10000) == EPHIDGET_OK;

    long calls = 0;
    long late = 0;
    for (const std::deque<Slot> &list : slots) {
        for (const Slot &slot : list) {
            calls += slot.calls;
            late += slot.calls - slot.atClose;
        }
    }
    const size_t cycles = slots[0].size() + slots[1].size();
    std::printf("%zu channel cycles, %ld handler calls, %ld after close, %d live handles%s\n",
        cycles, calls, late, lmsim_phidget_live_handles(), drained ? "" : ", not drained");
    return drained && late == 0 && calls > 0 && lmsim_phidget_live_handles() == 0 ? 0 : 1;
}
