#!/usr/bin/env bash
# The tests that run threads (label threads: logger concurrency, ping worker and device, sync
# bus, the Phidget runtime's stress test), built with ThreadSanitizer in build-tsan/ and run
# with ctest. Any report fails its test. gcc 12: clang 14's runtime aborts in fork()
# (QProcess) from a threaded process. Suppressions only for what Qt does inside itself
# (scripts/sanitizers/tsan.supp); QProcess forks, so die_after_fork=0.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build-tsan

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g -DNDEBUG" \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g -DNDEBUG" \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DLM_SANITIZE=thread -DLM_BUILD_BENCHMARKS=OFF >/dev/null

# The tests labelled threads (lm_add_qt_test(... LABELS threads)) and what they need.
# niced: a developer's other builds keep priority.
nice -n 15 cmake --build "$build" --target lm_label_threads -j2

export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:die_after_fork=0:second_deadlock_stack=1:history_size=7:suppressions=$PWD/scripts/sanitizers/tsan.supp"
ctest --test-dir "$build" -L '^threads$' --output-on-failure
