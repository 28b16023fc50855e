#!/usr/bin/env bash
# Ping device: the producer (the master) probes 127.0.0.1 every second; each result is
# sent to the media server's copy, and the "Ping status" node shows it on both instances.
source "$(dirname "$0")/../demo-common.sh"
devhost=$bin/lm_devhost
show=examples/shows/ping.xml

echo "--- the system's ping command against the loopback address, for 4 seconds"
"$devhost" --trace-sync --for 4 "$show" 2>&1

# An unreachable host is simulated with a stand-in ping that never gets an answer,
# so that nothing leaves this machine.
echo
echo "--- the same show with a stand-in ping that gets no answer (exit code 1), for 2.5 seconds"
standin=$work
printf '#!/bin/sh\nexit 1\n' > "$standin/ping"
chmod +x "$standin/ping"
PATH="$standin:$PATH" "$devhost" --trace-sync --for 2.5 "$show" 2>&1
