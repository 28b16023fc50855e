#!/usr/bin/env bash
# Fuzzes the development host's show loading (load, build, save, reload) and the runtime
# sync path of the ping device for a bounded time. Any crash or sanitizer report fails
# the step.
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/fuzz-common.sh
fuzz_configure_and_build fuzz_devhost_show fuzz_devhost_sync

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

for fuzzer in show sync; do
    dict=()
    if [ -f "tests/host/fuzz/$fuzzer.dict" ]; then dict=(-dict="tests/host/fuzz/$fuzzer.dict"); fi
    fuzz_run "fuzz_devhost_$fuzzer" "$work/$fuzzer" "$work" "${dict[@]}"
done
