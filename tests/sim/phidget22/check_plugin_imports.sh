#!/bin/sh
# Checks that a built plug-in reaches Phidget22 only through the vendor's public calls that the
# stand-in provides (so the vendor's library can replace it), never through the stand-in's
# lmsim_ control calls, and that it needs the library by the vendor's name: libphidget22.so.0
# as NEEDED in an ELF object, phidget22.dll in a Windows DLL's import table.
#   check_plugin_imports.sh <plug-in .so or .dll>
# A DLL is read with $OBJDUMP (default: x86_64-w64-mingw32-objdump, else objdump).
set -u
LC_ALL=C
export LC_ALL
plugin=${1:-}
if [ -z "$plugin" ] || [ ! -f "$plugin" ]; then
    echo "usage: $0 <plug-in shared object or DLL>" >&2
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

if [ "$(head -c 2 "$plugin")" = MZ ]; then
    library=phidget22.dll
    objdump=${OBJDUMP:-}
    if [ -z "$objdump" ]; then
        objdump=objdump
        command -v x86_64-w64-mingw32-objdump >/dev/null && objdump=x86_64-w64-mingw32-objdump
    fi
    table=$("$objdump" -p "$plugin") || { echo "FAIL: $objdump could not read $plugin"; exit 1; }
    # One "<dll> <call>" line per import ("#<ordinal>" for a call imported by ordinal only):
    # everything taken from phidget22.dll, and Phidget or lmsim_ calls from any other DLL.
    imports=$(printf '%s\n' "$table" | awk '
        /^\tDLL Name: / { dll = tolower($3); next }
        dll == "" || /^\tvma:/ { next }
        NF == 0 { dll = ""; next }
        { print dll, (NF >= 3 ? $3 : "#" $2) }')
    symbols=$(printf '%s\n' "$imports" | awk '$1 == "phidget22.dll" || $2 ~ /^(Phidget|lmsim_)/ { print $2 }')
    needed=0
    printf '%s\n' "$table" | grep -qi '^	DLL Name: phidget22\.dll$' && needed=1
    missing="phidget22.dll is not imported by $plugin"
else
    library=libphidget22.so.0
    undefined=$(nm -D --undefined-only "$plugin") || { echo "FAIL: nm could not read $plugin"; exit 1; }
    symbols=$(printf '%s\n' "$undefined" | awk '{ print $NF }' | sed 's/@.*//' \
        | grep -E '^(Phidget|lmsim_)')
    needed=0
    readelf -d "$plugin" | grep -q 'NEEDED.*\[libphidget22\.so\.0\]' && needed=1
    missing="libphidget22.so.0 is not NEEDED by $plugin"
fi

problems=0
used=0
for sym in $(printf '%s\n' "$symbols" | sort -u); do
    case " $(echo $allowed) " in
    *" $sym "*) used=$((used + 1)) ;;
    *) echo "FAIL: not a public Phidget22 call: $sym"; problems=$((problems + 1)) ;;
    esac
done

if [ "$needed" -eq 0 ]; then
    echo "FAIL: $missing"
    problems=$((problems + 1))
fi

if [ "$problems" -ne 0 ]; then
    echo "FAIL: $problems problem(s) in $plugin"
    exit 1
fi
echo "OK: $plugin imports $used public Phidget22 call(s) and needs $library"
