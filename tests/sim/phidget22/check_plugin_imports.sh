#!/bin/sh
# Checks that a built plug-in reaches Phidget22 only through the vendor's public calls that the
# stand-in provides (so a vendor libphidget22.so.0 can replace it), never through the stand-in's
# lmsim_ control calls, and that it records libphidget22.so.0 as NEEDED.
#   check_plugin_imports.sh <plug-in .so>
set -u
LC_ALL=C
export LC_ALL
plugin=${1:-}
if [ -z "$plugin" ] || [ ! -f "$plugin" ]; then
    echo "usage: $0 <plug-in shared object>" >&2
    exit 2
fi

allowed="Phidget_open Phidget_close Phidget_setDeviceSerialNumber Phidget_setHubPort
Phidget_setChannel Phidget_setIsHubPortDevice Phidget_setIsRemote Phidget_setServerName
Phidget_setOnAttachHandler Phidget_setOnDetachHandler Phidget_setOnErrorHandler Phidget_getErrorDescription
PhidgetDigitalInput_create PhidgetDigitalInput_delete PhidgetDigitalInput_getState
PhidgetDigitalInput_setOnStateChangeHandler PhidgetDigitalOutput_create
PhidgetDigitalOutput_delete PhidgetDigitalOutput_setState_async PhidgetEncoder_create
PhidgetEncoder_delete PhidgetEncoder_getPosition PhidgetEncoder_setOnPositionChangeHandler
PhidgetNet_startServer PhidgetNet_stopServer PhidgetNet_addServer PhidgetNet_enableServer
PhidgetNet_disableServer"

symbols=$(nm -D --undefined-only "$plugin") || { echo "FAIL: nm could not read $plugin"; exit 1; }
problems=0
used=0
for sym in $(printf '%s\n' "$symbols" | awk '{ print $NF }' | sed 's/@.*//' \
        | grep -E '^(Phidget|lmsim_)' | sort -u); do
    case " $(echo $allowed) " in
    *" $sym "*) used=$((used + 1)) ;;
    *) echo "FAIL: not a public Phidget22 call: $sym"; problems=$((problems + 1)) ;;
    esac
done

if ! readelf -d "$plugin" | grep -q 'NEEDED.*\[libphidget22\.so\.0\]'; then
    echo "FAIL: libphidget22.so.0 is not NEEDED by $plugin"
    problems=$((problems + 1))
fi

if [ "$problems" -ne 0 ]; then
    echo "FAIL: $problems problem(s) in $plugin"
    exit 1
fi
echo "OK: $plugin imports $used public Phidget22 call(s) and needs libphidget22.so.0"
