#!/usr/bin/env bash
# Fresh Debian 12 machine, as root: install, build, run every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --preset default --output-on-failure
# Further checks that are not CTest tests (fuzzing, for instance), in name order.
for step in scripts/test.d/*.sh; do
    [ -e "$step" ] || continue
    echo "== $step"
    bash "$step"
done
