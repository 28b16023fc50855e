#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer (clang, in
# build-fuzz/, which the fuzz step shares) and run with ctest; the fuzzers (label fuzz) are
# left to their step. A sanitizer report ends the test process with an error, so the test
# fails; ODR violations between the host library and the plug-ins are reported too
# (detect_odr_violation=2, scripts/fuzz-common.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/fuzz-common.sh
asan_configure
sanitize_build "$fuzz_build"
ctest --test-dir "$fuzz_build" -LE '^fuzz$' --output-on-failure
