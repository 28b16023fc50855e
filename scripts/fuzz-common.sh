# Shared by the fuzz steps of scripts/test.d: one clang build with the sanitizers in
# build-fuzz/, and a bounded run of one libFuzzer target that fails on any crash, hang or
# sanitizer report. Source it from the repository root.

fuzz_build=build-fuzz
fuzz_seconds=${LM_FUZZ_SECONDS:-15}

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen

# fuzz_configure_and_build TARGET...: every fuzz option stays on, so that one step does not
# drop another step's targets from the shared cache.
fuzz_configure_and_build() {
    cmake -S . -B "$fuzz_build" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DLM_BUILD_FUZZERS=ON -DLM_BUILD_DEVHOST_FUZZERS=ON -DLM_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build "$fuzz_build" --target "$@" -j2
}

# fuzz_run TARGET CORPUS WORKDIR [LIBFUZZER-OPTION...]
fuzz_run() {
    local target=$1 corpus=$2 work=$3
    shift 3
    echo "== $target for ${fuzz_seconds}s"
    "$fuzz_build/bin/$target" "$@" -max_total_time="$fuzz_seconds" -max_len=65536 -timeout=10 \
        -artifact_prefix="$work/" -print_final_stats=1 "$corpus" 2>"$work/$target.log" || {
        tail -n 60 "$work/$target.log"
        # The failing input outlives the work directory.
        cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$fuzz_build/" 2>/dev/null || true
        echo "$target found a crash, a hang or a sanitizer report" >&2
        return 1
    }
    grep -E "stat::number_of_executed_units|Done" "$work/$target.log" || true
}
