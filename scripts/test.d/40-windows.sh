#!/usr/bin/env bash
# The Windows build: every component cross-built for 64-bit Windows with mingw-w64 against Qt
# 6.4.2 for Windows (scripts/windows-qt.sh provides it) into build-win/, and its tests run under
# wine64 by CTest (the test definitions carry what wine needs; build-win/wine-run.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."

start=$(date +%s)
qt=$(bash scripts/windows-qt.sh)
cmake --preset windows -DLM_QT_MINGW_DIR="$qt" >/dev/null
cmake --build --preset windows
# wine makes its prefix once, before the tests start in parallel.
build-win/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || true
ctest --preset windows -j2
echo "Windows step: $(( $(date +%s) - start )) s"
