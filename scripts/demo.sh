#!/usr/bin/env bash
# Fresh Debian 12 machine, as root: install, build, run the demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
for step in scripts/demo.d/*.sh; do
    [ -e "$step" ] || continue
    echo
    echo "==================== $(basename "$step" .sh)"
    bash "$step"
done
