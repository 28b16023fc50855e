#!/usr/bin/env bash
# Fuzzes the development host's show loading (load, build, save, reload) and the runtime
# sync path of the ping device for a bounded time. Any crash or sanitizer report fails
# the step.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build-fuzz
seconds=${LM_FUZZ_SECONDS:-15}

# LM_BUILD_FUZZERS stays on so that the helper's fuzz step keeps its targets in this cache.
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DLM_BUILD_FUZZERS=ON -DLM_BUILD_DEVHOST_FUZZERS=ON -DLM_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzz_devhost_show fuzz_devhost_sync -j2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seeds: the example shows, and sync messages of both ping types and a foreign one
# (the first byte picks the sender and the type put in front, see fuzz_devhost_sync.cpp).
mkdir -p "$work/show" "$work/sync"
cp examples/shows/*.xml tests/host/fuzz/seeds/*.xml "$work/show/"
printf '\x00{dafbca35-c182-4a58-a340-c2544e614c2c}*1*0' >"$work/sync/full"
printf '\x00{b3e9f4a1-7c2d-4b8e-a5f0-1d6e3c9b2a7f}*1\n{b3e9f4a1-7c2d-4b8e-a5f0-1d6e3c9b2a7f}*0' >"$work/sync/change"
printf '\x01{00000000-0000-0000-0000-000000000001}*x' >"$work/sync/other"
printf '\x04*1\n1*1\n*' >"$work/sync/fullpayloads"
printf '\x09\n1\n0\n' >"$work/sync/changepayloads"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen
for fuzzer in show sync; do
    echo "== fuzz_devhost_$fuzzer for ${seconds}s"
    dict=()
    if [ -f "tests/host/fuzz/$fuzzer.dict" ]; then dict=(-dict="tests/host/fuzz/$fuzzer.dict"); fi
    "$build/bin/fuzz_devhost_$fuzzer" "${dict[@]}" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -artifact_prefix="$work/" -print_final_stats=1 "$work/$fuzzer" 2>"$work/$fuzzer.log" || {
        tail -n 60 "$work/$fuzzer.log"
        # The failing input outlives the work directory.
        cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$build/" 2>/dev/null || true
        echo "fuzz_devhost_$fuzzer found a crash, a hang or a sanitizer report" >&2
        exit 1
    }
    grep -E "stat::number_of_executed_units|Done" "$work/$fuzzer.log" || true
done
