#!/usr/bin/env bash
# The development host runs the example show: the producer pings the loopback
# address, the media server "Left" follows through the sync bus.
set -euo pipefail
cd "$(dirname "$0")/../.."
bin=build/bin
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "--- plug-ins and node types"
"$bin/lm_devhost" --list-plugins

echo
echo "--- examples/shows/basic.xml for 3.5 s, with the sync messages"
"$bin/lm_devhost" examples/shows/basic.xml --for 3.5 --trace-sync \
    --log "$out/devhost-demo.log" --log-mode Encodage
echo "log file lines: $(wc -l < "$out/devhost-demo.log")"
head -n 3 "$out/devhost-demo.log"

echo
echo "--- load, save, load again: the two saved files are identical"
"$bin/lm_devhost" examples/shows/basic.xml --save "$out/first.xml" > /dev/null
"$bin/lm_devhost" "$out/first.xml" --save "$out/second.xml" > /dev/null
cmp "$out/first.xml" "$out/second.xml" && echo "identical ($(wc -c < "$out/first.xml") bytes)"

echo
echo "--- errors end with a message and a non-zero exit"
set +e
"$bin/lm_devhost" examples/shows/does-not-exist.xml; echo "exit code $?"
printf '<lumoraShow><nodes><node id="1" type="11111111-2222-3333-4444-555555555555"/></nodes></lumoraShow>' \
    > "$out/unknown.xml"
"$bin/lm_devhost" "$out/unknown.xml"; echo "exit code $?"
"$bin/lm_devhost" examples/shows/basic.xml --plugins "$out/no-plugins-here"; echo "exit code $?"
exit 0
