#!/usr/bin/env bash
# Touch screen device: scripted touches on media server 1 ("Left"); the device there
# reports them, the sync bus takes each one to the producer (the master), which relays
# it to media server 2 ("Right"). "On Touch" fires for every touch on the watched
# output, "On Touch Zone" only inside its zone. The show checks its own expectations.
source "$(dirname "$0")/../demo-common.sh"
devhost=$bin/lm_devhost
show=examples/shows/touch.xml

echo "--- $show on the real clock, with the sync messages (about 4 seconds)"
"$devhost" --trace-sync "$show" 2>&1 | tee "$work/run.txt"

echo
echo "--- the touch at (100.123456, 200.654321): reported on Left, sent to the master, relayed to Right"
grep -E '^\[Left\] touch \(100|sync TouchScreen .*100\.123' "$work/run.txt"
echo
echo "--- the zone node fires for the first touch only, on every instance"
grep -F '"Zone": trigger' "$work/run.txt"
echo
echo "--- its position: full single precision on Left, 6 significant digits where it came by the bus"
grep -F '"Zone": output "Position"' "$work/run.txt"

echo
echo "--- the same show in virtual time with a script that expects too much (exit code 5)"
cat > "$work/wrong.txt" <<'SCRIPT'
# time kind fields; the second touch is outside the zone
1 touch server=1 output=0 x=100.123456 y=200.654321
1.5 touch server=1 output=0 x=800 y=600
2 expectFired node=2 trigger="On Touch" count=2
2 expectOutput node=2 output=Position value="(800, 600)" instance=Right
SCRIPT
set +e
"$devhost" --virtual-time --script "$work/wrong.txt" "$show" 2>&1 | tail -n 3
echo "exit code ${PIPESTATUS[0]}"

echo
echo "--- a touch on a media server the show does not have is refused before the run (exit code 2)"
echo "1 touch server=7 output=0 x=1 y=1" > "$work/server7.txt"
"$devhost" --virtual-time --script "$work/server7.txt" "$show" 2>&1 | tail -n 1
echo "exit code ${PIPESTATUS[0]}"
exit 0
