#!/usr/bin/env bash
# Soak run (not a CTest test): lm_devhost runs a show with every device plug-in on a producer
# and two media servers, with scripted touches and simulated Phidget board events at a high
# rate, while lm_helper_client queries the elevated helper on the simulated rig in a loop.
# Bounded: it stops by itself after --seconds (default 60). It reports and checks:
#   - resident memory of lm_devhost at the start and at the end (flat),
#   - events stimulated against events seen at the nodes, on every instance (none lost),
#   - log lines written against the lines the logger echoed (none lost, none torn),
#   - Qt warnings about cross-thread misuse (none),
#   - helper queries sent against answered.
# Exit code 0 when every check holds, 1 otherwise, 2 for a bad command line.
# Loopback only. Needs a build (scripts/build.sh); the helper's fixed UDP ports must be free
# (not while the helper tests run).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
build=build
usage() {
    echo "usage: scripts/soak.sh [--seconds N (10..3600, default 60)] [--build DIR (default build)]"
}
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=${2:-}; shift 2 || { usage >&2; exit 2; } ;;
    --build) build=${2:-}; shift 2 || { usage >&2; exit 2; } ;;
    -h | --help) usage; exit 0 ;;
    *) echo "unknown argument: $1" >&2; usage >&2; exit 2 ;;
    esac
done
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 10 ] || [ "$seconds" -gt 3600 ]; then
    echo "--seconds must be a whole number from 10 to 3600" >&2
    exit 2
fi
for f in bin/lm_devhost bin/lm_elevated_helper bin/lm_helper_client plugins/libPing_bridge.so \
    plugins/libTouchScreen_bridge.so plugins/libphidget_bridge.so; do
    if [ ! -e "$build/$f" ]; then
        echo "$build/$f is missing: build first (scripts/build.sh)" >&2
        exit 2
    fi
done

source scripts/helper-start.sh
work=$(mktemp -d)
devhost_pid=
client_pid=
cleanup() {
    for pid in $client_pid $devhost_pid $helper_pid; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# --- The script: from 1 s to 2 s before the end, one step per tick (or slower, to stay
# within the host's 10000 entries): a touch on Left's output, a toggle of digital input 0,
# one encoder count. The expectations, 1 s before the end, count what every instance saw.
awk -v seconds="$seconds" -v counts="$work/counts" 'BEGIN {
    last = seconds - 2
    steps = 3300
    dt = (last - 1) / steps
    if (dt < 0.02) { dt = 0.02; steps = int((last - 1) / dt) }
    print "0.5 attachBoard serial=12345 instance=Producer digitalInputs=1 digitalOutputs=1 encoders=1"
    state = 0
    for (i = 0; i < steps; i++) {
        t = sprintf("%.3f", 1 + i * dt)
        printf "%s touch server=1 output=0 x=%d y=%d\n", t, 100 + i % 700, 200 + i % 300
        state = 1 - state
        printf "%s digitalInput serial=12345 channel=0 state=%d\n", t, state
        printf "%s turnEncoder serial=12345 channel=0 counts=1\n", t
    }
    e = sprintf("%.3f", seconds - 1)
    # The attachment reports the input once; each toggle once more.
    printf "%s expectFired node=2 trigger=\"On Touch\" count=%d\n", e, steps
    printf "%s expectFired node=3 trigger=Changed count=%d\n", e, steps + 1
    printf "%s expectOutput node=5 output=Position value=%d\n", e, steps
    printf "%s expectDigitalOutput serial=12345 channel=0 state=%d\n", e, state
    printf "%d\n", steps > counts
}' >"$work/soak.script"
steps=$(cat "$work/counts")

# --- The elevated helper on the simulated workstation rig, and a client loop.
start_helper "$build/bin/lm_elevated_helper" "$work/helper-events.log" \
    "$PWD/examples/rigs/workstation.json" "$work/helper.err"
(
    sent=0 answered=0
    while [ ! -e "$work/stop-client" ]; do
        sent=$((sent + 1))
        if "$build/bin/lm_helper_client" gpus --timeout 3000 >/dev/null 2>>"$work/client.err"; then
            answered=$((answered + 1))
        fi
        echo "$sent $answered" >"$work/client.count"
    done
) &
client_pid=$!

# --- The show (scripts/soak.xml: a producer hosting the board, two media servers, every
# plug-in's nodes), with memory sampled every second.
export QT_QPA_PLATFORM=offscreen
"$build/bin/lm_devhost" scripts/soak.xml --plugins "$build/plugins" --script "$work/soak.script" \
    --for "$seconds" --log "$work/log/soak.log" --log-mode Developer --tick 20 \
    >"$work/devhost.out" 2>"$work/devhost.err" &
devhost_pid=$!
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || true; }
: >"$work/rss"
while kill -0 "$devhost_pid" 2>/dev/null; do
    r=$(rss "$devhost_pid")
    [ -n "$r" ] && echo "$r" >>"$work/rss"
    sleep 1
done
devhost_rc=0
wait "$devhost_pid" || devhost_rc=$?
devhost_pid=

touch "$work/stop-client"
wait "$client_pid" || true
client_pid=
"$build/bin/lm_helper_client" exit >/dev/null 2>&1 || true
wait "$helper_pid" || true
helper_pid=

# --- Report.
failed=0
check() { # check OK|FAIL text
    printf '%-4s %s\n' "$1" "$2"
    [ "$1" = ok ] || failed=1
}
echo "soak: ${seconds}s, ${steps} steps of one touch, one digital input toggle and one encoder count"

# Memory: the first sample after start-up (3 s) against the last one.
start_kb=$(sed -n '4p' "$work/rss")
end_kb=$(tail -n 1 "$work/rss")
max_kb=$(sort -n "$work/rss" | tail -n 1)
if [ -z "$start_kb" ] || [ -z "$end_kb" ]; then
    check FAIL "resident memory: not sampled"
else
    growth=$((end_kb - start_kb))
    # Flat: within 10% or 8 MiB of the start, whichever is more.
    allowed=$((start_kb / 10 > 8192 ? start_kb / 10 : 8192))
    verdict=ok
    [ "$growth" -le "$allowed" ] || verdict=FAIL
    check "$verdict" "resident memory: ${start_kb} kB at 3 s, ${end_kb} kB at the end (${growth} kB), at most ${max_kb} kB"
fi

# Events: what the script stimulated against the triggers each instance printed.
out=$work/devhost.out
for instance in Producer Left Right; do
    touches=$(grep -c "^\[$instance\] node 2 \"Any touch\": trigger \"On Touch\" fired" "$out" || true)
    inputs=$(grep -c "^\[$instance\] node 3 \"Button 0\": trigger \"Changed\" fired" "$out" || true)
    position=$(grep "^\[$instance\] node 5 \"Wheel\": output \"Position\" = " "$out" | tail -n 1 | sed 's/.* = //')
    verdict=ok
    [ "$touches" -eq "$steps" ] && [ "$inputs" -eq $((steps + 1)) ] && [ "$position" = "$steps" ] || verdict=FAIL
    check "$verdict" "events on $instance: touches ${touches}/${steps}, input changes ${inputs}/$((steps + 1)), encoder position ${position:-none}/${steps}"
done
if grep -q "^expectations: all [0-9]* met" "$out" && [ "$devhost_rc" -eq 0 ]; then
    check ok "lm_devhost: $(grep "^expectations:" "$out")"
else
    check FAIL "lm_devhost: exit code $devhost_rc; $(grep -E "^expectation" "$out" | head -n 5 | tr '\n' ' ')"
fi

# Log lines: every line the logger echoed is in the log files, whole.
line_format='^[0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3}  T[0-9a-f]+ \[[A-Z]+\] '
echoed=$(grep -Ec "$line_format" "$out" || true)
written=$(find "$work/log" -type f -name 'soak*' -exec cat {} + | wc -l)
torn=$(find "$work/log" -type f -name 'soak*' -exec cat {} + | grep -Evc "$line_format" || true)
verdict=ok
[ "$written" -eq "$echoed" ] && [ "$torn" -eq 0 ] && [ "$written" -gt 0 ] || verdict=FAIL
check "$verdict" "log lines: ${written} written, ${echoed} expected (echoed), ${torn} malformed"

# Qt's warnings about objects used from the wrong thread.
misuse=$(cat "$work/devhost.err" "$out" | grep -Eic \
    "another thread|different thread|moveToThread|Cannot create children|Cannot send events|Timers cannot" || true)
verdict=ok
[ "$misuse" -eq 0 ] || verdict=FAIL
check "$verdict" "Qt cross-thread warnings: ${misuse}"

read -r sent answered <"$work/client.count" || { sent=0; answered=0; }
verdict=ok
[ "$sent" -gt 0 ] && [ "$answered" -eq "$sent" ] || verdict=FAIL
check "$verdict" "helper queries: ${answered} answered of ${sent} sent"

if [ "$failed" -ne 0 ]; then
    echo "soak FAILED; last lines of lm_devhost:" >&2
    tail -n 20 "$out" >&2
    exit 1
fi
echo "soak passed"
