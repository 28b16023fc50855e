/*
 * Stand-in for the Phidget22 C library: the subset of its public C API that the Lumora Phidget
 * plug-in calls, with the vendor's names, types, signatures and constant values, so that a real
 * libphidget22.so.0 can replace the stand-in without rebuilding the plug-in.
 * Simulation control for tests lives in phidget22_sim.h, not here.
 */
#ifndef PHIDGET22_H
#define PHIDGET22_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef CCONV
#ifdef _WIN32
#define CCONV __stdcall
#else
#define CCONV
#endif
#endif

#ifndef API_PRETURN_HDR
#define API_PRETURN_HDR PhidgetReturnCode CCONV
#define API_VRETURN_HDR void CCONV
#endif

typedef enum {
    EPHIDGET_OK = 0,
    EPHIDGET_PERM = 1,
    EPHIDGET_NOENT = 2,
    EPHIDGET_TIMEOUT = 3,
    EPHIDGET_INTERRUPTED = 4,
    EPHIDGET_IO = 5,
    EPHIDGET_NOMEMORY = 6,
    EPHIDGET_ACCESS = 7,
    EPHIDGET_FAULT = 8,
    EPHIDGET_BUSY = 9,
    EPHIDGET_EXIST = 10,
    EPHIDGET_NOTDIR = 11,
    EPHIDGET_ISDIR = 12,
    EPHIDGET_INVALID = 13,
    EPHIDGET_NFILE = 14,
    EPHIDGET_MFILE = 15,
    EPHIDGET_NOSPC = 16,
    EPHIDGET_FBIG = 17,
    EPHIDGET_ROFS = 18,
    EPHIDGET_RO = 19,
    EPHIDGET_UNSUPPORTED = 20,
    EPHIDGET_INVALIDARG = 21,
    EPHIDGET_AGAIN = 22,
    EPHIDGET_NOTEMPTY = 26,
    EPHIDGET_UNEXPECTED = 28,
    EPHIDGET_DUPLICATE = 27,
    EPHIDGET_BADPASSWORD = 37,
    EPHIDGET_NETUNAVAIL = 45,
    EPHIDGET_CONNREF = 35,
    EPHIDGET_CONNRESET = 46,
    EPHIDGET_HOSTUNREACH = 48,
    EPHIDGET_NODEV = 40,
    EPHIDGET_WRONGDEVICE = 50,
    EPHIDGET_PIPE = 41,
    EPHIDGET_RESOLV = 44,
    EPHIDGET_UNKNOWNVAL = 51,
    EPHIDGET_NOTATTACHED = 52,
    EPHIDGET_INVALIDPACKET = 53,
    EPHIDGET_2BIG = 54,
    EPHIDGET_BADVERSION = 55,
    EPHIDGET_CLOSED = 56,
    EPHIDGET_NOTCONFIGURED = 57,
    EPHIDGET_EOF = 31,
    EPHIDGET_KEEPALIVE = 58,
    EPHIDGET_FAILSAFE = 59,
    EPHIDGET_UNKNOWNVALHIGH = 60,
    EPHIDGET_UNKNOWNVALLOW = 61,
    EPHIDGET_BADPOWER = 62,
    EPHIDGET_POWERCYCLE = 63,
    EPHIDGET_HALLSENSOR = 64,
    EPHIDGET_BADCURRENT = 65,
    EPHIDGET_BADCONNECTION = 66,
    EPHIDGET_NACK = 67
} PhidgetReturnCode;

typedef enum {
    EEPHIDGET_BADVERSION = 1,
    EEPHIDGET_BUSY = 2,
    EEPHIDGET_NETWORK = 3,
    EEPHIDGET_DISPATCH = 4,
    EEPHIDGET_FAILURE = 5,
    EEPHIDGET_OK = 4096,
    EEPHIDGET_OVERRUN = 4098,
    EEPHIDGET_PACKETLOST = 4099,
    EEPHIDGET_WRAP = 4100,
    EEPHIDGET_OVERTEMP = 4101,
    EEPHIDGET_OVERCURRENT = 4102,
    EEPHIDGET_OUTOFRANGE = 4103,
    EEPHIDGET_BADPOWER = 4104,
    EEPHIDGET_SATURATION = 4105,
    EEPHIDGET_OVERVOLTAGE = 4107,
    EEPHIDGET_FAILSAFECONDITION = 4108,
    EEPHIDGET_VOLTAGEERROR = 4109,
    EEPHIDGET_ENERGYDUMPCONDITION = 4110,
    EEPHIDGET_MOTORSTALLCONDITION = 4111,
    EEPHIDGET_INVALIDSTATECONDITION = 4112,
    EEPHIDGET_BADCONNECTIONCONDITION = 4113,
    EEPHIDGET_MEASUREMENTRANGEEXCEEDED = 4114
} Phidget_ErrorEventCode;

typedef enum {
    PHIDCHCLASS_NOTHING = 0,
    PHIDCHCLASS_ACCELEROMETER = 1,
    PHIDCHCLASS_CURRENTINPUT = 2,
    PHIDCHCLASS_DATAADAPTER = 3,
    PHIDCHCLASS_DCMOTOR = 4,
    PHIDCHCLASS_DIGITALINPUT = 5,
    PHIDCHCLASS_DIGITALOUTPUT = 6,
    PHIDCHCLASS_DISTANCESENSOR = 7,
    PHIDCHCLASS_ENCODER = 8,
    PHIDCHCLASS_FREQUENCYCOUNTER = 9,
    PHIDCHCLASS_GPS = 10,
    PHIDCHCLASS_LCD = 11,
    PHIDCHCLASS_GYROSCOPE = 12,
    PHIDCHCLASS_HUB = 13,
    PHIDCHCLASS_CAPACITIVETOUCH = 14,
    PHIDCHCLASS_HUMIDITYSENSOR = 15,
    PHIDCHCLASS_IR = 16,
    PHIDCHCLASS_LIGHTSENSOR = 17,
    PHIDCHCLASS_MAGNETOMETER = 18,
    PHIDCHCLASS_MESHDONGLE = 19,
    PHIDCHCLASS_POWERGUARD = 20,
    PHIDCHCLASS_PRESSURESENSOR = 21,
    PHIDCHCLASS_RCSERVO = 22,
    PHIDCHCLASS_RESISTANCEINPUT = 23,
    PHIDCHCLASS_RFID = 24,
    PHIDCHCLASS_SOUNDSENSOR = 25,
    PHIDCHCLASS_SPATIAL = 26,
    PHIDCHCLASS_STEPPER = 27,
    PHIDCHCLASS_TEMPERATURESENSOR = 28,
    PHIDCHCLASS_VOLTAGEINPUT = 29,
    PHIDCHCLASS_VOLTAGEOUTPUT = 30,
    PHIDCHCLASS_VOLTAGERATIOINPUT = 31,
    PHIDCHCLASS_FIRMWAREUPGRADE = 32,
    PHIDCHCLASS_GENERIC = 33,
    PHIDCHCLASS_MOTORPOSITIONCONTROLLER = 34,
    PHIDCHCLASS_BLDCMOTOR = 35,
    PHIDCHCLASS_DICTIONARY = 36,
    PHIDCHCLASS_PHSENSOR = 37,
    PHIDCHCLASS_CURRENTOUTPUT = 38
} Phidget_ChannelClass;

/* Values that leave an addressing property unset (match anything). */
#define PHIDGET_SERIALNUMBER_ANY (-1)
#define PHIDGET_HUBPORT_ANY (-1)
#define PHIDGET_CHANNEL_ANY (-1)

typedef struct _Phidget *PhidgetHandle;
typedef struct _PhidgetDigitalInput *PhidgetDigitalInputHandle;
typedef struct _PhidgetDigitalOutput *PhidgetDigitalOutputHandle;
typedef struct _PhidgetEncoder *PhidgetEncoderHandle;
typedef struct _PhidgetServer PhidgetServer, *PhidgetServerHandle;

typedef void(CCONV *Phidget_OnAttachCallback)(PhidgetHandle ch, void *ctx);
typedef void(CCONV *Phidget_OnDetachCallback)(PhidgetHandle ch, void *ctx);
typedef void(CCONV *Phidget_OnErrorCallback)(
    PhidgetHandle ch, void *ctx, Phidget_ErrorEventCode code, const char *description);
typedef void(CCONV *Phidget_AsyncCallback)(
    PhidgetHandle phid, void *ctx, PhidgetReturnCode returnCode);
typedef void(CCONV *PhidgetDigitalInput_OnStateChangeCallback)(
    PhidgetDigitalInputHandle ch, void *ctx, int state);
typedef void(CCONV *PhidgetEncoder_OnPositionChangeCallback)(
    PhidgetEncoderHandle ch, void *ctx, int positionChange, double timeChange, int indexTriggered);

/* Channel life and addressing. */
API_PRETURN_HDR Phidget_open(PhidgetHandle ch);
API_PRETURN_HDR Phidget_close(PhidgetHandle ch);
API_PRETURN_HDR Phidget_setDeviceSerialNumber(PhidgetHandle ch, int32_t deviceSerialNumber);
API_PRETURN_HDR Phidget_setHubPort(PhidgetHandle ch, int hubPort);
API_PRETURN_HDR Phidget_setChannel(PhidgetHandle ch, int channel);
API_PRETURN_HDR Phidget_setIsHubPortDevice(PhidgetHandle ch, int isHubPortDevice);
API_PRETURN_HDR Phidget_setIsRemote(PhidgetHandle ch, int isRemote);
API_PRETURN_HDR Phidget_setServerName(PhidgetHandle ch, const char *serverName);
API_PRETURN_HDR Phidget_setOnAttachHandler(
    PhidgetHandle ch, Phidget_OnAttachCallback fptr, void *ctx);
API_PRETURN_HDR Phidget_setOnDetachHandler(
    PhidgetHandle ch, Phidget_OnDetachCallback fptr, void *ctx);
API_PRETURN_HDR Phidget_setOnErrorHandler(
    PhidgetHandle ch, Phidget_OnErrorCallback fptr, void *ctx);
API_PRETURN_HDR Phidget_getErrorDescription(PhidgetReturnCode errorCode, const char **errorString);

/* Digital input. */
API_PRETURN_HDR PhidgetDigitalInput_create(PhidgetDigitalInputHandle *ch);
API_PRETURN_HDR PhidgetDigitalInput_delete(PhidgetDigitalInputHandle *ch);
API_PRETURN_HDR PhidgetDigitalInput_getState(PhidgetDigitalInputHandle ch, int *state);
API_PRETURN_HDR PhidgetDigitalInput_setOnStateChangeHandler(
    PhidgetDigitalInputHandle ch, PhidgetDigitalInput_OnStateChangeCallback fptr, void *ctx);

/* Digital output. */
API_PRETURN_HDR PhidgetDigitalOutput_create(PhidgetDigitalOutputHandle *ch);
API_PRETURN_HDR PhidgetDigitalOutput_delete(PhidgetDigitalOutputHandle *ch);
API_VRETURN_HDR PhidgetDigitalOutput_setState_async(
    PhidgetDigitalOutputHandle ch, int state, Phidget_AsyncCallback fptr, void *ctx);

/* Encoder. */
API_PRETURN_HDR PhidgetEncoder_create(PhidgetEncoderHandle *ch);
API_PRETURN_HDR PhidgetEncoder_delete(PhidgetEncoderHandle *ch);
API_PRETURN_HDR PhidgetEncoder_getPosition(PhidgetEncoderHandle ch, int64_t *position);
API_PRETURN_HDR PhidgetEncoder_setOnPositionChangeHandler(
    PhidgetEncoderHandle ch, PhidgetEncoder_OnPositionChangeCallback fptr, void *ctx);

/* Network servers: this process's own server and the client-side server entries. */
API_PRETURN_HDR PhidgetNet_startServer(int flags, int addressFamily, const char *serverName,
    const char *address, int port, const char *password, PhidgetServerHandle *server);
API_PRETURN_HDR PhidgetNet_stopServer(PhidgetServerHandle *server);
API_PRETURN_HDR PhidgetNet_addServer(
    const char *serverName, const char *address, int port, const char *password, int flags);
API_PRETURN_HDR PhidgetNet_enableServer(const char *serverName);
API_PRETURN_HDR PhidgetNet_disableServer(const char *serverName, int flags);

#ifdef __cplusplus
}
#endif

#endif /* PHIDGET22_H */
