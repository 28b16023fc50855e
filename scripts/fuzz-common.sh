# Shared by the sanitizer and fuzz steps of scripts/test.d. build-fuzz/ is one clang build of
# the whole tree with AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's coverage
# (LM_SANITIZE): 20-asan-suite.sh builds it and runs the test suite in it, the fuzz steps add
# their targets to the same build. Source it from the repository root.

fuzz_build=build-fuzz
fuzz_seconds=${LM_FUZZ_SECONDS:-15}

# One definition of every global per process (plug-ins and the host library included), no
# leak, no use of a global before its initialisation; the first report ends the process.
export ASAN_OPTIONS=detect_odr_violation=2:detect_leaks=1:check_initialization_order=1:strict_init_order=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen

# asan_configure: every fuzz option stays on, so that one step does not drop another step's
# targets from the shared cache. -O1 with line tables: readable reports, a shorter build.
asan_configure() {
    cmake -S . -B "$fuzz_build" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG" \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG" \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        "-DLM_SANITIZE=address;undefined;fuzzer-no-link" \
        -DLM_BUILD_FUZZERS=ON -DLM_BUILD_BENCHMARKS=OFF >/dev/null
}

# sanitize_build DIR [TARGET...]: niced, so that a developer's other builds keep priority.
sanitize_build() {
    local dir=$1
    shift
    local targets=()
    if [ $# -gt 0 ]; then targets=(--target "$@"); fi
    nice -n 15 cmake --build "$dir" "${targets[@]}" -j2
}

# fuzz_configure_and_build TARGET...
fuzz_configure_and_build() {
    asan_configure
    sanitize_build "$fuzz_build" "$@"
}

# fuzz_targets NAME...: those of the names that the build defines (a plug-in not built yet
# has no fuzzer).
fuzz_targets() {
    local all
    all=$(ninja -C "$fuzz_build" -t targets all 2>/dev/null | sed -n 's/^\([A-Za-z0-9_]*\): phony$/\1/p')
    for name in "$@"; do
        if grep -qx "$name" <<<"$all"; then echo "$name"; fi
    done
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
