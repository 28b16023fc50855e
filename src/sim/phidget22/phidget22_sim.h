/*
 * Control interface of the simulated Phidget22 library, for tests and the development host
 * only (a real libphidget22 has none of this). Plain C, so it can be resolved with dlsym.
 *
 * Model: a machine is a network address text ("127.0.0.1"). Boards are defined once by serial
 * number, get channels, and are plugged into (and removed from) a machine. A channel opened with
 * Phidget_setIsRemote(1) attaches when an enabled client entry (PhidgetNet_addServer) names the
 * address and port of a running server (PhidgetNet_startServer) whose machine holds a matching
 * board. See README.md.
 *
 * Every call returns a PhidgetReturnCode value (EPHIDGET_OK = 0) unless stated otherwise.
 * Channels are named by (serial, hubPort, channel): hubPort -1 on a board that is not a VINT
 * hub. Any thread may call these, except lmsim_phidget_wait_idle from inside a callback.
 */
#ifndef PHIDGET22_SIM_H
#define PHIDGET22_SIM_H

#include "phidget22.h"

#ifdef __cplusplus
extern "C" {
#endif

/* lmsim_phidget_fail_call count: fail every call from now on. */
#define LMSIM_PHIDGET_FAIL_ALWAYS (-1)

/* Boards. */

/* Defines a board, not plugged in anywhere, without channels. hubPortCount 0: not a VINT hub.
 * EPHIDGET_DUPLICATE when the serial number is taken, EPHIDGET_INVALIDARG for serial < 0 or
 * hubPortCount outside 0..16. */
int lmsim_phidget_board_create(int32_t serial, int hubPortCount);

/* Adds channels 0..count-1 of one class (PHIDCHCLASS_DIGITALINPUT, _DIGITALOUTPUT or _ENCODER)
 * on hubPort (-1 on a board without hub ports, else 0..hubPortCount-1), in hub-port mode when
 * isHubPortDevice is 1. A channel already present with the same class, port and index gives
 * EPHIDGET_DUPLICATE and adds nothing. Allowed while the board is plugged in. */
int lmsim_phidget_board_add_channels(
    int32_t serial, Phidget_ChannelClass channelClass, int hubPort, int count, int isHubPortDevice);

/* Plugs the board into machine; EPHIDGET_BUSY when it is plugged in already. */
int lmsim_phidget_board_attach(int32_t serial, const char *machine);

/* Removes the board from its machine; its channels detach. The board keeps its definition and
 * channel values and can be plugged in again. EPHIDGET_NOTATTACHED when not plugged in. */
int lmsim_phidget_board_remove(int32_t serial);

/* The machine whose boards a local open (Phidget_setIsRemote(0), or remote unset) may attach
 * to; NULL or "" for none, the default. */
int lmsim_phidget_set_local_machine(const char *machine);

/* Channel values as the board sees them. */

/* Sets a digital input to state (0 or 1); a change is reported to every attached channel. */
int lmsim_phidget_set_digital_input(int32_t serial, int hubPort, int channel, int state);

/* Turns an encoder by positionChange counts: the board's absolute position accumulates and
 * every attached channel gets a position change event. */
int lmsim_phidget_turn_encoder(int32_t serial, int hubPort, int channel, int positionChange);

/* The board's absolute encoder position. */
int lmsim_phidget_get_encoder_position(int32_t serial, int hubPort, int channel, int64_t *position);

/* The digital output state that the board drives (0 until a write succeeded). */
int lmsim_phidget_get_digital_output(int32_t serial, int hubPort, int channel, int *state);

/* Fires the error handler of every channel attached to that board channel. */
int lmsim_phidget_raise_error(int32_t serial, Phidget_ChannelClass channelClass, int hubPort,
    int channel, Phidget_ErrorEventCode code, const char *description);

/* Servers. */

/* A server started with PhidgetNet_startServer at address:port dies (alive 0: its channels
 * detach, the handle stays valid for PhidgetNet_stopServer) or comes back (alive 1).
 * EPHIDGET_NOENT when no server was started there. */
int lmsim_phidget_set_server_alive(const char *address, int port, int alive);

/* Failure injection. */

/* The next count calls of the named public call (e.g. "Phidget_open") return code without doing
 * anything; LMSIM_PHIDGET_FAIL_ALWAYS: every call from now on; count 0 clears the rule.
 * PhidgetDigitalOutput_setState_async reports the code through its completion handler.
 * EPHIDGET_INVALIDARG for an unknown name, or code 0 with a non-zero count. */
int lmsim_phidget_fail_call(const char *callName, PhidgetReturnCode code, int count);

/* Call log: one line per public call, e.g.
 * PhidgetNet_addServer("Lumora Phidget Server 127.0.0.1", "127.0.0.1", 5661, "", 0)
 * Handles print as 0x... pointers, output arguments as &value (&? when not written). The log
 * keeps the latest 10000 lines. */

/* Copies the log, each line ending in '\n', into buffer (always NUL-terminated when size > 0)
 * and returns the full length without the NUL, like snprintf. */
int lmsim_phidget_log_text(char *buffer, int size);
int lmsim_phidget_log_clear(void);

/* Housekeeping. */

/* Forgets boards, servers, client entries, failure rules, the local machine and the log;
 * every handle becomes invalid and gets no further callback. Waits for a callback in progress
 * unless called from one. */
int lmsim_phidget_reset(void);

/* Waits until every queued callback has been delivered. EPHIDGET_TIMEOUT after timeoutMs,
 * EPHIDGET_BUSY when called from a callback, EPHIDGET_CLOSED once the library is shutting down at
 * process exit. */
int lmsim_phidget_wait_idle(int timeoutMs);

/* 1 when the channel handle is attached, 0 when not, -1 when it is not a live handle. */
int lmsim_phidget_is_attached(PhidgetHandle ch);

/* Number of channel handles created and not yet deleted. */
int lmsim_phidget_live_handles(void);

#ifdef __cplusplus
}
#endif

#endif /* PHIDGET22_SIM_H */
