# Sourced by the scripts that run the elevated helper on a simulated rig (the demonstration,
# scripts/soak.sh).

# start_helper HELPER EVENT_LOG RIG ERR_FILE: starts HELPER in the background on the rig (the
# simulated driver, not a real nvapi library), its events in EVENT_LOG and its stderr in
# ERR_FILE; sets helper_pid and waits up to 5 s until it has bound its UDP port. Fails with
# the reason if it did not.
helper_pid=
start_helper() {
    export LM_HELPER_EVENT_LOG=$2 LM_NVAPI_SIM_RIG=$3
    unset LM_NVAPI_LIBRARY
    "$1" 2>"$4" &
    helper_pid=$!
    for _ in $(seq 50); do
        grep -q "Binding to UDP port 3064" "$LM_HELPER_EVENT_LOG" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "$1 did not start (UDP port 3064 in use?)" >&2
    cat "$4" >&2
    return 1
}

# stop_helper: ends the helper start_helper started, if it still runs.
stop_helper() {
    if [ -n "$helper_pid" ] && kill -0 "$helper_pid" 2>/dev/null; then kill "$helper_pid"; fi
}
