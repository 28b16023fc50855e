#!/usr/bin/env bash
# The elevated helper on the simulated two-GPU workstation, queried with lm_helper_client:
# inventory, EDID export, loading that EDID onto another connector, the override shown, and
# the helper ended (the client says whether it was there and whether it went).
source "$(dirname "$0")/../demo-common.sh"

rig=$PWD/examples/rigs/workstation.json
echo "Starting lm_elevated_helper on the rig $rig"
start_helper "$bin/lm_elevated_helper" "$work/events.log" "$rig" "$work/helper.err"
grep "Binding to UDP port 3064" "$LM_HELPER_EVENT_LOG"

echo
echo "\$ lm_helper_client gpus --table"
"$bin/lm_helper_client" gpus --table

echo
echo "\$ lm_helper_client export-edid --gpu 0 --connector 0x80061003 --out pa278qv.bin"
"$bin/lm_helper_client" export-edid --gpu 0 --connector 0x80061003 --out "$work/pa278qv.bin"
if command -v edid-decode >/dev/null; then
    echo "edid-decode says:"
    edid-decode "$work/pa278qv.bin" | grep -E "Manufacturer:|Display Product Name|Detailed Timing Descriptors" -A1 \
        | grep -v "^--" | head -8 | sed 's/^/    /'
fi

echo
echo "\$ lm_helper_client load-edid --gpu 1 --in pa278qv.bin --connector 0x80062002"
"$bin/lm_helper_client" load-edid --gpu 1 --in "$work/pa278qv.bin" --connector 0x80062002

echo
echo "\$ lm_helper_client gpus --table    (0x80062002 now reports its EDID as overridden)"
"$bin/lm_helper_client" gpus --table

echo
echo "\$ lm_helper_client exit"
"$bin/lm_helper_client" exit
wait "$helper_pid" && echo "helper ended with exit code 0"
helper_pid=

echo
echo "Event log of the run:"
sed 's/^/    /' "$LM_HELPER_EVENT_LOG" | cut -c1-110
