#!/usr/bin/env bash
# One libFuzzer target for a bounded time on its seeds, as a CTest test (label fuzz):
#   fuzz-run.sh <fuzzer> <seconds> <artifact folder> [-libfuzzer-option...] [seed file or folder...]
# A crash, a hang, a leak or a sanitizer report fails the test; the input that caused it is
# kept in the artifact folder, the fuzzer's log is printed.
set -euo pipefail
fuzzer=$1 seconds=$2 artifacts=$3
shift 3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$artifacts"
options=()
n=0
for arg in "$@"; do
    case $arg in
    -*) options+=("$arg") ;;
    *)
        # Numbered copies: seeds of several folders may share a name.
        while IFS= read -r -d '' seed; do
            n=$((n + 1))
            cp "$seed" "$work/corpus/$n-$(basename "$seed")"
        done < <(find "$arg" -maxdepth 1 -type f -print0)
        ;;
    esac
done

if ! "$fuzzer" "${options[@]}" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "$work/corpus" 2>"$work/log"; then
    tail -n 60 "$work/log"
    echo "$(basename "$fuzzer") found a crash, a hang or a sanitizer report (input kept in $artifacts)" >&2
    exit 1
fi
echo "$(basename "$fuzzer"): $n seeds, $seconds s"
grep -E "stat::number_of_executed_units|stat::new_units_added|Done" "$work/log" || true
