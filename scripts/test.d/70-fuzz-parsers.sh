#!/usr/bin/env bash
# Fuzzes the parsers of outside input that the other fuzz steps leave: the log message's
# text form, the simulated NVIDIA driver's rig file, and each device plug-in's show XML
# (device element, node values, node data) and runtime sync messages, for a bounded time
# each (LM_FUZZ_SECONDS). Any crash, failed check or sanitizer report fails the step.
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/fuzz-common.sh
asan_configure
mapfile -t devices < <(fuzz_targets fuzz_device_ping fuzz_device_touch fuzz_device_phidget)
sanitize_build "$fuzz_build" fuzz_lmlog_message fuzz_sim_rig "${devices[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seeds: a saved message (with an escaped character, an asterisk as vertical tab, a line
# break as "|"), the example rigs, and per plug-in the seeds of tests/devices/fuzz/seeds
# (first byte: what is read, see fuzz_device.cpp).
mkdir -p "$work/lmlog" "$work/rig"
printf '<?xml version="1.0" encoding="UTF-8"?>|<LMLogMessage message="a &amp; b\x0b|c" type="8" datetime="2024-05-01T10:11:12.345+02:00"/>' >"$work/lmlog/saved"
printf '<?xml version="1.0" encoding="UTF-8"?>|<Other message="x"/>' >"$work/lmlog/other"
cp examples/rigs/*.json "$work/rig/"

fuzz_run fuzz_lmlog_message "$work/lmlog" "$work"
fuzz_run fuzz_sim_rig "$work/rig" "$work"
for target in "${devices[@]}"; do
    name=${target#fuzz_device_}
    mkdir -p "$work/$name"
    cp tests/devices/fuzz/seeds/"$name"/* "$work/$name/" 2>/dev/null || true
    fuzz_run "$target" "$work/$name" "$work" -dict=tests/devices/fuzz/device.dict
done
