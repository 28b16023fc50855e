#!/usr/bin/env bash
# The development host runs the example show: the producer pings the loopback
# address, the media server "Left" follows through the sync bus.
source "$(dirname "$0")/../demo-common.sh"

echo "--- plug-ins and node types"
"$bin/lm_devhost" --list-plugins

echo
echo "--- examples/shows/basic.xml for 3.5 s, with the sync messages"
"$bin/lm_devhost" examples/shows/basic.xml --for 3.5 --trace-sync \
    --log "$work/devhost-demo.log" --log-mode Encodage
echo "log file lines: $(wc -l < "$work/devhost-demo.log")"
head -n 3 "$work/devhost-demo.log"

echo
echo "--- load, save, load again: the two saved files are identical"
"$bin/lm_devhost" examples/shows/basic.xml --save "$work/first.xml" > /dev/null
"$bin/lm_devhost" "$work/first.xml" --save "$work/second.xml" > /dev/null
cmp "$work/first.xml" "$work/second.xml" && echo "identical ($(wc -c < "$work/first.xml") bytes)"

echo
echo "--- errors end with a message and a non-zero exit"
set +e
"$bin/lm_devhost" examples/shows/does-not-exist.xml; echo "exit code $?"
printf '<lumoraShow><nodes><node id="1" type="11111111-2222-3333-4444-555555555555"/></nodes></lumoraShow>' \
    > "$work/unknown.xml"
"$bin/lm_devhost" "$work/unknown.xml"; echo "exit code $?"
"$bin/lm_devhost" examples/shows/basic.xml --plugins "$work/no-plugins-here"; echo "exit code $?"
exit 0
