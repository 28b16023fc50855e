#!/usr/bin/env bash
# Phidget device: a simulated board (serial 12345) on the producer's machine. The producer
# hosts it (it starts the Phidget network server); the producer and the media server "Stage"
# both join the server and open the channels, so both see every event, while only the
# producer writes the digital output. Digital input 0 drives digital output 0 through the graph.
source "$(dirname "$0")/../demo-common.sh"
devhost=$bin/lm_devhost
show=examples/shows/phidget.xml

echo "--- $show on the real clock (about 6 seconds), with the calls that reach Phidget22"
"$devhost" --trace-phidget22 "$show" > "$work/run.txt" 2> "$work/stderr.txt"
grep -v '^\[phidget22\]' "$work/run.txt"

echo
echo "--- the board's events on both instances"
grep -E '^\[board|"Button 0": output' "$work/run.txt"
echo
echo "--- the server: started once by the hosting producer, joined once (both instances share this process)"
grep -E 'PhidgetNet_(startServer|addServer|enableServer)' "$work/run.txt"
echo
echo "--- the outputs: each instance opens its 4, the producer's first (it starts first);"
echo "    every write goes to one handle, the producer's output 0"
grep -F 'PhidgetDigitalOutput_create' "$work/run.txt"
grep -F 'PhidgetDigitalOutput_setState_async' "$work/run.txt"
echo
echo "--- what the plug-in logged (attach and detach of the 9 channels on each instance)"
grep -c 'Channel attached' "$work/stderr.txt" | sed 's/^/channel attachments: /'
grep -c 'Channel detached' "$work/stderr.txt" | sed 's/^/channel detachments: /'

echo
echo "--- in virtual time, a script: the server of the producer dies and comes back"
cat > "$work/server.txt" <<'SCRIPT'
0.5 attachBoard serial=12345 instance=Producer digitalInputs=4 digitalOutputs=4 encoders=1
1   digitalInput serial=12345 channel=0 state=1
1.5 stopServer instance=Producer
2   expectOutput node=1 output=Value value=(undefined)
2.5 restartServer instance=Producer
3   expectOutput node=1 output=Value value=true
3   expectDigitalOutput serial=12345 channel=0 state=true
SCRIPT
"$devhost" --virtual-time --script "$work/server.txt" "$show" 2>/dev/null \
    | grep -E '^\[board|^\[server|"Button 0": output|^stopped|^expectation'
