#!/usr/bin/env bash
# The logger: Qt and FFmpeg-style messages into a small, rotating log file.
set -euo pipefail
demo_dir=$(mktemp -d)
trap 'rm -rf "$demo_dir"' EXIT

build/bin/lm_lmlog_demo "$demo_dir"

echo
echo "--- files left in $demo_dir/logs (five generations and the -last.log link)"
(cd "$demo_dir/logs" && ls -l --time-style=+%T | sed 1d)
echo
echo "--- demo-last.log -> $(readlink "$demo_dir/logs/demo-last.log")"
cat "$demo_dir/logs/demo-last.log"
for generation in 1 5; do
    echo
    echo "--- head of demo-1.log.old$generation"
    head -n 4 "$demo_dir/logs/demo-1.log.old$generation"
done
