#!/usr/bin/env bash
# Fuzzes the elevated helper's datagram handler (no driver) and its record reader for a
# bounded time. Any crash or sanitizer report fails the step.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build-fuzz
seconds=${LM_FUZZ_SECONDS:-15}

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DLM_BUILD_FUZZERS=ON -DLM_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzz_helper_datagram fuzz_helper_records -j2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seeds: one well-formed request per command, and well-formed records.
mkdir -p "$work/datagram" "$work/records"
printf '[SOURCE=s]getGpusInfo\n' >"$work/datagram/gpus"
printf '[X][SOURCE=s]lockEdid\n\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x05\x00\x00\x00' >"$work/datagram/lock"
printf '[SOURCE=s]unloadEdid\n' >"$work/datagram/unload"
printf '[SOURCE=s]exportEdid\n\x01\x00\x00\x00\x00\x00\x00\x00\x07\x00\x00\x00' >"$work/datagram/export"
printf '[SOURCE=s]loadEdid\n\x14\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x05\x00\x00\x00EDID' >"$work/datagram/load"
printf 'exit\n' >"$work/datagram/exit"
printf '\x01\x01\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x05\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x07\x00\x00\x00' >"$work/records/refs"
printf '\x03\x04\x00\x00\x00ABCD' >"$work/records/edid"
printf '\x00\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x06\x00\x00\x00Nvidia\x01\x00\x00\x00A4000\x01\x00\x00\x00\x00\x00\x00\x00' >"$work/records/gpus"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for fuzzer in datagram records; do
    echo "== fuzz_helper_$fuzzer for ${seconds}s"
    "$build/bin/fuzz_helper_$fuzzer" -max_total_time="$seconds" -max_len=65536 \
        -artifact_prefix="$work/" -print_final_stats=1 "$work/$fuzzer" 2>"$work/$fuzzer.log" || {
        tail -n 60 "$work/$fuzzer.log"
        echo "fuzz_helper_$fuzzer found a crash or a sanitizer report" >&2
        exit 1
    }
    grep -E "stat::number_of_executed_units|Done" "$work/$fuzzer.log" || true
done
