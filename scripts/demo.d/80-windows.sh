#!/usr/bin/env bash
# The Windows build under wine64: the Windows elevated helper on the simulated workstation,
# asked by the Windows lm_helper_client, then lm_devhost.exe on two example shows.
set -euo pipefail
cd "$(dirname "$0")/../.."
bin=build-win/bin
run=build-win/wine-run.sh
if [ ! -x "$run" ] || [ ! -f "$bin/lm_devhost.exe" ] || [ ! -f "$bin/lm_elevated_helper.exe" ] \
    || [ ! -f "$bin/lm_helper_client.exe" ]; then
    echo "No Windows build in build-win/: build it with"
    echo "    bash scripts/test.d/40-windows.sh"
    echo "(or: cmake --preset windows -DLM_QT_MINGW_DIR=\"\$(bash scripts/windows-qt.sh)\" &&"
    echo "     cmake --build --preset windows)"
    exit 0
fi

# Every Windows program here reads its standard input from /dev/null: under wine a program whose
# standard input is the caller's pipe or terminal can wait on it (the helper then reads no
# datagram, the client never returns).
exec </dev/null

helper_pid=
reply=$(mktemp)
cleanup() {
    if [ -n "$helper_pid" ] && kill -0 "$helper_pid" 2>/dev/null; then kill "$helper_pid"; fi
    rm -f "$reply"
}
trap cleanup EXIT

# The helper's UDP ports are fixed: one helper at a time on this machine.
exec 9>/tmp/lm-udp-ports.lock
flock 9

# nvapi64.dll beside the helper is the simulated driver; it reads the rig named here.
export LM_NVAPI_SIM_RIG="$PWD/examples/rigs/workstation.json"
echo "Starting lm_elevated_helper.exe on the rig $LM_NVAPI_SIM_RIG"
# Its standard input from /dev/null: with the caller's pipe or terminal there, the helper under
# wine reads no datagram at all.
"$run" "$bin/lm_elevated_helper.exe" </dev/null >/dev/null 2>&1 &
helper_pid=$!

# The Windows helper logs its binding to the system's event log only: it is ready once it
# answers. Each try waits up to 2 s for the reply.
echo
echo "\$ lm_helper_client.exe gpus --table"
# The reply goes to a file, not a pipe: wine's service processes that the client may start
# inherit its output and keep a pipe open after the client has ended.
answered=0
for _ in $(seq 15); do
    if "$run" "$bin/lm_helper_client.exe" gpus --table >"$reply" 2>&1; then
        answered=1
        break
    fi
    kill -0 "$helper_pid" 2>/dev/null || break
done
if [ "$answered" = 1 ]; then
    if [ -s "$reply" ]; then cat "$reply"; else echo "(answered, exit code 0, printed nothing)"; fi
else
    cat "$reply"
    echo "the helper did not answer"
fi

echo
echo "\$ lm_helper_client.exe exit"
set +e
"$run" "$bin/lm_helper_client.exe" exit
echo "exit code $?"
for _ in $(seq 50); do
    kill -0 "$helper_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$helper_pid" 2>/dev/null; then
    echo "the helper is still running"
else
    wait "$helper_pid"
    echo "helper ended with exit code $?"
    helper_pid=
fi
set -e
flock -u 9

echo
echo "\$ lm_devhost.exe examples/shows/basic.xml --for 2"
"$run" "$bin/lm_devhost.exe" examples/shows/basic.xml --for 2

echo
echo "\$ lm_devhost.exe examples/shows/phidget.xml --virtual-time"
"$run" "$bin/lm_devhost.exe" examples/shows/phidget.xml --virtual-time
