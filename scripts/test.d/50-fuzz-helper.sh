#!/usr/bin/env bash
# Fuzzes the elevated helper's datagram handler (no driver) and its record reader for a
# bounded time. Any crash or sanitizer report fails the step.
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/fuzz-common.sh
fuzz_configure_and_build fuzz_helper_datagram fuzz_helper_records

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

for fuzzer in datagram records; do
    fuzz_run "fuzz_helper_$fuzzer" "$work/$fuzzer" "$work"
done
