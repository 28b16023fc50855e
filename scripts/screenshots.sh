#!/usr/bin/env bash
# Screenshots of lm_devhost --gui and of the Phidget plug-in's dialogs, drawn under Xvfb:
#   build/screenshots/devhost-gui.png             the window on the Phidget example show
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

mkdir -p "$out"
status=0
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
