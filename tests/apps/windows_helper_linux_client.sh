#!/usr/bin/env bash
# The Windows helper under wine, asked by the Linux client on the fixed loopback ports:
# inventory, an EDID export and the end of the helper.
# Usage: windows_helper_linux_client.sh WINE_RUN HELPER_EXE LINUX_CLIENT RIG
# Exit codes: 0 passed, 1 failed, 77 skipped (no Linux client).
set -u
wine_run=$1 helper=$2 client=$3 rig=$4

if [ ! -x "$client" ]; then
    echo "SKIP: no Linux client at $client (build lm_helper_client in the Linux tree)"
    exit 77
fi

work=$(mktemp -d)
helper_pid=
cleanup() {
    if [ -n "$helper_pid" ] && kill -0 "$helper_pid" 2>/dev/null; then kill "$helper_pid"; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

# Another helper on the port would answer in place of ours.
"$client" gpus --timeout 300 >/dev/null 2>&1
[ $? -eq 3 ] || fail "a helper already answers on UDP port 3064"

LM_NVAPI_SIM_RIG=$rig "$wine_run" "$helper" &
helper_pid=$!

# wine starts the helper in a few seconds; until it is bound nothing answers.
for _ in $(seq 60); do
    "$client" gpus --table --timeout 500 >"$work/table" 2>"$work/err" && break
    kill -0 "$helper_pid" 2>/dev/null || fail "the helper ended before answering"
done
[ -s "$work/table" ] || fail "no inventory: $(cat "$work/err")"
cat "$work/table"

expect() {
    grep -qE "$1" "$work/table" || fail "the inventory has no line matching: $1"
}
# Both GPUs, the merged dual-mode pair, a Windows display name with its mode, the override.
expect '^0x00000000 +RTX A6000 +yes +0x80061001 +0x80061002 +DisplayPort +yes'
expect '0x80061003 .*DisplayPort +yes +\\\\\.\\DISPLAY1 .*2560x1440 32bit 74\.971Hz +- +yes$'
expect '0x80061005 .*HDMI +yes +\\\\\.\\DISPLAY3 .*1920x1080 32bit 50\.000Hz +overridden +no$'
expect '^0x00000001 +GeForce RTX 4070 +no +0x80062001 '

"$client" export-edid --gpu 0 --connector 0x80061003 --out "$work/edid.bin" ||
    fail "export-edid failed"
[ "$(stat -c %s "$work/edid.bin")" -eq 128 ] || fail "the exported EDID is not 128 bytes"
[ "$(head -c 8 "$work/edid.bin" | od -An -tx1 | tr -d ' \n')" = 00ffffffffffff00 ] ||
    fail "the exported EDID lacks the EDID header"

out=$("$client" exit) || fail "exit: $out"
[ "$out" = "The elevated helper answered and has ended." ] || fail "exit said: $out"
wait "$helper_pid"
code=$?
helper_pid=
[ $code -eq 0 ] || fail "the helper ended with exit code $code"
echo "PASS: the Windows helper answered the Linux client and ended"
