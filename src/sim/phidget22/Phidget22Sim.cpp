// Skeleton: every call fails until the simulation lands.
#include "phidget22_sim.h"

#define UNSUPPORTED return EPHIDGET_UNSUPPORTED

extern "C" {
PhidgetReturnCode Phidget_open(PhidgetHandle)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_close(PhidgetHandle)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_setDeviceSerialNumber(PhidgetHandle, int32_t)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_setHubPort(PhidgetHandle, int)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_setChannel(PhidgetHandle, int)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_setIsHubPortDevice(PhidgetHandle, int)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_setIsRemote(PhidgetHandle, int)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_setOnAttachHandler(PhidgetHandle, Phidget_OnAttachCallback, void *)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_setOnDetachHandler(PhidgetHandle, Phidget_OnDetachCallback, void *)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_setOnErrorHandler(PhidgetHandle, Phidget_OnErrorCallback, void *)
{
    UNSUPPORTED;
}
PhidgetReturnCode Phidget_getErrorDescription(PhidgetReturnCode, const char **)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetDigitalInput_create(PhidgetDigitalInputHandle *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetDigitalInput_delete(PhidgetDigitalInputHandle *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetDigitalInput_getState(PhidgetDigitalInputHandle, int *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetDigitalInput_setOnStateChangeHandler(
    PhidgetDigitalInputHandle, PhidgetDigitalInput_OnStateChangeCallback, void *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetDigitalOutput_create(PhidgetDigitalOutputHandle *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetDigitalOutput_delete(PhidgetDigitalOutputHandle *)
{
    UNSUPPORTED;
}
void PhidgetDigitalOutput_setState_async(
    PhidgetDigitalOutputHandle, int, Phidget_AsyncCallback, void *)
{ }
PhidgetReturnCode PhidgetEncoder_create(PhidgetEncoderHandle *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetEncoder_delete(PhidgetEncoderHandle *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetEncoder_getPosition(PhidgetEncoderHandle, int64_t *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetEncoder_setOnPositionChangeHandler(
    PhidgetEncoderHandle, PhidgetEncoder_OnPositionChangeCallback, void *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetNet_startServer(
    int, int, const char *, const char *, int, const char *, PhidgetServerHandle *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetNet_stopServer(PhidgetServerHandle *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetNet_addServer(const char *, const char *, int, const char *, int)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetNet_enableServer(const char *)
{
    UNSUPPORTED;
}
PhidgetReturnCode PhidgetNet_disableServer(const char *, int)
{
    UNSUPPORTED;
}

int lmsim_phidget_board_create(int32_t, int)
{
    UNSUPPORTED;
}
int lmsim_phidget_board_add_channels(int32_t, Phidget_ChannelClass, int, int, int)
{
    UNSUPPORTED;
}
int lmsim_phidget_board_attach(int32_t, const char *)
{
    UNSUPPORTED;
}
int lmsim_phidget_board_remove(int32_t)
{
    UNSUPPORTED;
}
int lmsim_phidget_set_local_machine(const char *)
{
    UNSUPPORTED;
}
int lmsim_phidget_set_digital_input(int32_t, int, int, int)
{
    UNSUPPORTED;
}
int lmsim_phidget_turn_encoder(int32_t, int, int, int)
{
    UNSUPPORTED;
}
int lmsim_phidget_get_encoder_position(int32_t, int, int, int64_t *)
{
    UNSUPPORTED;
}
int lmsim_phidget_get_digital_output(int32_t, int, int, int *)
{
    UNSUPPORTED;
}
int lmsim_phidget_raise_error(
    int32_t, Phidget_ChannelClass, int, int, Phidget_ErrorEventCode, const char *)
{
    UNSUPPORTED;
}
int lmsim_phidget_set_server_alive(const char *, int, int)
{
    UNSUPPORTED;
}
int lmsim_phidget_fail_call(const char *, PhidgetReturnCode, int)
{
    UNSUPPORTED;
}
int lmsim_phidget_log_text(char *buffer, int size)
{
    if (buffer && size > 0)
        buffer[0] = 0;
    return 0;
}
int lmsim_phidget_log_clear(void)
{
    return EPHIDGET_OK;
}
int lmsim_phidget_reset(void)
{
    return EPHIDGET_OK;
}
int lmsim_phidget_wait_idle(int)
{
    return EPHIDGET_OK;
}
int lmsim_phidget_is_attached(PhidgetHandle)
{
    return -1;
}
int lmsim_phidget_live_handles(void)
{
    return 0;
}
}
