#!/usr/bin/env bash
# Screenshots of lm_devhost --gui and of the Phidget plug-in's dialogs, drawn under Xvfb:
#   build/screenshots/devhost-gui.png             the window on the Phidget example show
#   build/screenshots/devhost-gui-touch.png       the window on the touch example show: the
#                                                 zone node's editor, its zone and the last touch
#   build/screenshots/phidget-device-setup.png    the device's setup dialog (Setup…)
#   build/screenshots/phidget-channel-picker.png  the channel picker of a node's "Channel"
# The dialogs are opened the way a user opens them (Device::showSetupDialog, the inspector's
# "..." button) and shot by lm_devhost's screenshot mode. Needs a build (scripts/build.sh)
# and xvfb-run (scripts/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LM_BUILD_DIR:-build}
devhost=$build/bin/lm_devhost
show=examples/shows/phidget.xml
out=$build/screenshots

[ -x "$devhost" ] || { echo "screenshots: $devhost is missing; run scripts/build.sh" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is missing; run scripts/deps.sh" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Board events instead of the show's own script, so that the window shows live values and
# the run has no expectations that a short run would leave unmet.
cat > "$work/board.script" <<'SCRIPT'
0.2 attachBoard serial=12345 instance=Producer digitalInputs=4 digitalOutputs=4 encoders=1
0.6 digitalInput serial=12345 channel=0 state=1
0.9 turnEncoder serial=12345 channel=0 counts=12
SCRIPT

# Node 3 is the encoder node: its "Channel" property shows the Phidget channel inspector,
# whose "..." button (changeButton) opens the picker.
xvfb-run -a -s "-screen 0 1600x1000x24" \
    "$devhost" "$show" --script "$work/board.script" --for 3 \
    --gui --screenshot "$work/shots" --select 3 \
    --screenshot-setup Phidget:1 --screenshot-press changeButton

# Touches on the touch show, the last one inside the zone (node 2, "Zone") that it draws.
cat > "$work/touch.script" <<'SCRIPT'
0.2 touch server=Right output=Main x=1500 y=800
0.4 touch server=Left output=Side x=960 y=540
0.6 touch server=Left output=Main x=260 y=230
1.0 expectFired node=Zone trigger="On Touch" count=1
SCRIPT
xvfb-run -a -s "-screen 0 1600x1000x24" \
    "$devhost" examples/shows/touch.xml --script "$work/touch.script" \
    --gui --screenshot "$work/touch" --instance Left --select 2

mkdir -p "$out"
status=0
if [ -s "$work/touch/window.png" ]; then
    mv "$work/touch/window.png" "$out/devhost-gui-touch.png"
    echo "screenshots: $out/devhost-gui-touch.png"
else
    echo "screenshots: devhost-gui-touch.png was not taken" >&2
    status=1
fi
for pair in window:devhost-gui phidget-device-setup:phidget-device-setup \
    select-a-phidget-channel:phidget-channel-picker; do
    from=$work/shots/${pair%%:*}.png
    to=$out/${pair#*:}.png
    if [ -s "$from" ]; then
        mv "$from" "$to"
        echo "screenshots: $to"
    else
        echo "screenshots: ${pair#*:}.png was not taken" >&2
        status=1
    fi
done
exit $status
