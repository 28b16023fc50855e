#!/usr/bin/env bash
# Every fuzzer (CTest label fuzz, see lm_add_fuzzer) for LM_FUZZ_SECONDS each on its seeds:
# the elevated helper's datagrams and records, the development host's show loading and sync
# path, each device plug-in's show XML and sync messages, the log message's text form and the
# simulated driver's rig file. Any crash, failed check or sanitizer report fails the step.
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/fuzz-common.sh
asan_configure
sanitize_build "$fuzz_build" lm_label_fuzz
ctest --test-dir "$fuzz_build" -L '^fuzz$' -j2 --output-on-failure
