#!/usr/bin/env bash
# The development host's window on the Phidget and the touch example shows, drawn under Xvfb, with the
# Phidget setup dialog and channel picker opened as a user opens them; the pictures land in
# build/screenshots/. Then the window's refusal to start without a display.
set -euo pipefail
cd "$(dirname "$0")/../.."

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# The plug-ins' log lines (channel attach and detach) go to a file; the console shows the run.
bash scripts/screenshots.sh 2>"$log"
echo "plug-in log lines: $(grep -c '\[PHIDGET\]' "$log")"
ls -l build/screenshots/*.png

echo
echo "--- --gui without a display and without --offscreen (exit code 1)"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= build/bin/lm_devhost examples/shows/phidget.xml --gui --for 1 2>&1 | grep -v '^[0-9:.]* T[0-9]* '
echo "exit code ${PIPESTATUS[0]}"
exit 0
