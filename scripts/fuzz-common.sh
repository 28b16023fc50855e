# Shared by the sanitizer and fuzz steps of scripts/test.d. build-fuzz/ is one clang build of
# the whole tree with AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's coverage
# (LM_SANITIZE): 20-asan-suite.sh builds it and runs the test suite in it, 50-fuzz.sh runs
# the fuzzers there (CTest label fuzz). Source it from the repository root.

fuzz_build=build-fuzz

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
        -DLM_BUILD_FUZZERS=ON "-DLM_FUZZ_SECONDS=${LM_FUZZ_SECONDS:-15}" \
        -DLM_BUILD_BENCHMARKS=OFF >/dev/null
}

# sanitize_build DIR [TARGET...]: niced, so that a developer's other builds keep priority.
sanitize_build() {
    local dir=$1
    shift
    local targets=()
    if [ $# -gt 0 ]; then targets=(--target "$@"); fi
    nice -n 15 cmake --build "$dir" "${targets[@]}" -j2
}
