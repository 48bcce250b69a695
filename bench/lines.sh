#!/usr/bin/env bash
# Whole files through the line modes: 30 MB of an access log's targets,
# each decoded by urldecode -l (the builtin) and taken apart by
# urlparse -l, against python3 doing both with unquote_plus and urlsplit,
# and against the bash loop over the builtins, two calls a line; 40 MB
# of JSON Lines through jsonparse -l, against jq's @tsv, python3 and
# node; and the peak memory of every line mode on records at and past
# its limits. Each run must succeed, or refuse just what it should.
#   bash bench/lines.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
peer jq jq
[ -n "$builtins" ] || { echo "the bash builtins are not built (no bash headers)"; exit 0; }
enable -f shelltools urldecode urlparse
awk -v n=1300000 -f bench/targets.awk >"$dir/targets"
head -n 65000 "$dir/targets" >"$dir/targets20"	# a twentieth, for the loops
size=$(awk -v n="$(wc -c <"$dir/targets")" 'BEGIN { printf "%.0f", n / 1e6 }')
lines=$(wc -l <"$dir/targets")
fails() { echo "bench: $1 failed" >&2; exit 1; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
timed() {		# timed FUNCTION: its best time of three, in seconds
	local b= t e
	for _ in 1 2 3; do t=$EPOCHREALTIME; "$1"; e=$EPOCHREALTIME; b=$(least "$b" "$(secs "$t" "$e")"); done
	echo "$b"
}
decode_lines() { urldecode -l <"$dir/targets" >"$dir/decoded" || fails "urldecode -l"; }
parse_lines() { "$dir/bin/urlparse" -l -b http://example.org/ -g pathname <"$dir/targets" >"$dir/paths" ||
	fails "urlparse -l"; }
# python3 and the loop do both a line, as a script would.
both_python() { "$python" -c 'import sys
from urllib.parse import unquote_plus, urlsplit
w = sys.stdout.write
for l in sys.stdin:
    l = l[:-1]
    w(unquote_plus(l) + "\t" + urlsplit(l).path + "\n")' <"$dir/targets" >"$dir/both.py" || fails "python3"; }
both_loop() { local l x y; while IFS= read -r l; do urldecode -v x "$l"; urlparse -v y -b http://example.org/ -g pathname "$l"
	printf '%s\t%s\n' "$x" "$y"; done <"$dir/targets20" >"$dir/both.loop" || fails "the loop"; }
unlike() { paste -d '\n' "$1" "$2" | awk 'NR % 2 { a = $0; next } $0 != a { n++ } END { print n + 0 }'; }

echo "| $size MB of URL targets, $lines lines: each decoded, and its path | s | it / line modes | lines unlike the line modes' |"
echo "|---|---:|---:|---:|"
d=$(timed decode_lines) p=$(timed parse_lines)
[ "$(wc -l <"$dir/decoded")" = "$lines" ] && [ "$(wc -l <"$dir/paths")" = "$lines" ] ||
	fails "a line mode: a line lost"
ours=$(awk -v a="$d" -v b="$p" 'BEGIN { print a + b }')
paste "$dir/decoded" "$dir/paths" >"$dir/both"
# The loop takes a twentieth of the file, and is counted whole.
loop=$(awk -v t="$(timed both_loop)" 'BEGIN { print t * 20 }')
cmp -s "$dir/both.loop" <(head -n 65000 "$dir/both") || fails "the loop: other bytes than the line modes"
row() { printf '| %-44s | %7.2f | %8s | %6s |\n' "$1" "$2" "$(ratio "$2" "$3")" "$4"; }
row "urldecode -l (builtin), then urlparse -l" "$ours" "$ours" 0
row "  of which urldecode -l" "$d" "$ours" ""
row "  of which urlparse -l -g pathname" "$p" "$ours" ""
row "bash loop, urldecode -v and urlparse -v (x 20)" "$loop" "$ours" 0
if [ -n "$python" ]; then
	py=$(timed both_python)
	row "python3, unquote_plus and urlsplit" "$py" "$ours" "$(unlike "$dir/both" "$dir/both.py")"
fi

# JSON Lines: events of a service's log, each a line.
awk 'BEGIN { for (i = 0; i < 300000; i++) printf "{\"ts\":\"2026-12-09T10:%02d:%02dZ\",\"a\":%d,\"b\":\"user %d said \\\"hi\\\"\",\"level\":\"info\",\"tags\":[\"x\",\"y\"],\"ctx\":{\"ip\":\"10.0.%d.%d\",\"ok\":true,\"ms\":%d.%d}}\n", i % 60, i % 60, i, i % 977, i % 256, i % 200, i % 1000, i % 10 }' >"$dir/events"
jsize=$(awk -v n="$(wc -c <"$dir/events")" 'BEGIN { printf "%.0f", n / 1e6 }')
json_lines() { "$dir/bin/jsonparse" -l -g /a -g /b <"$dir/events" >"$dir/events.tsv" || fails "jsonparse -l"; }
json_jq() { jq -r '[.a, .b] | @tsv' <"$dir/events" >"$dir/events.jq" || fails "jq @tsv"; }
json_python() { "$python" -c 'import sys, json
w = sys.stdout.write
for l in sys.stdin:
    d = json.loads(l)
    w("%s\t%s\n" % (d["a"], d["b"]))' <"$dir/events" >"$dir/events.py" || fails "python3 json"; }
json_node() { "$node" -e 'const out = []; require("readline").createInterface({ input: process.stdin })
	.on("line", (l) => { const d = JSON.parse(l); out.push(d.a + "\t" + d.b + "\n"); })
	.on("close", () => process.stdout.write(out.join("")));' <"$dir/events" >"$dir/events.node" || fails "node"; }
echo
echo "| $jsize MB of JSON Lines, two fields a line | s | it / jsonparse -l | lines unlike jsonparse's |"
echo "|---|---:|---:|---:|"
j=$(timed json_lines)
row "jsonparse -l -g /a -g /b" "$j" "$j" 0
slowest=
for way in json_jq json_python json_node; do
	case $way in
	json_jq) command -v jq >/dev/null || continue; label="jq -r '[.a, .b] | @tsv'" out=jq ;;
	json_python) [ -n "$python" ] || continue; label="python3 json.loads" out=py ;;
	json_node) [ -n "$node" ] || continue; label="node JSON.parse" out=node ;;
	esac
	t=$(timed $way)
	row "$label" "$t" "$j" "$(unlike "$dir/events.tsv" "$dir/events.$out")"
	fastest=$(least "${fastest-}" "$t")
done

# Peak memory: the longest record, one past it, and results past 1 MiB.
rep() { head -c "$1" /dev/zero | tr '\0' "$2"; }
{ rep 262143 '&'; echo; rep 170000 '<'; echo; rep 10485760 x; echo; } >"$dir/big"
{ printf '{"a":['; for i in 1 2 3 4 5; do printf '"%s",' "$(rep 40000 '<')"; done; printf '""]}\n['
	rep 240000 1 | sed 's/1/1,/g'; echo '1]'; } >"$dir/big.jsonl"
echo
echo "| every line mode, records at and past their limits | peak KiB |"
echo "|---|---:|"
most=0
for way in "urlencode -l" "htmlescape -l" "jsonquote -l" "urlparse -l -b http://example.org/" "jsonparse -l -g /a"; do
	in=$dir/big
	[[ $way != jsonparse* ]] || in=$dir/big.jsonl
	/usr/bin/time -f %M -o "$dir/peak" "$dir/bin/"$way <"$in" >/dev/null 2>"$dir/lines.err" && fails "$way on records past its limits"
	grep -q 'record .*: a re\(cord\|sult\) over' "$dir/lines.err" || fails "$way: no record refused"
	m=$(tail -n 1 "$dir/peak")
	printf '| %-40s | %9s |\n' "$way" "$m"
	most=$(awk -v a="$most" -v b="$m" 'BEGIN { print (b > a ? b : a) }')
done

# The error path: writes for 20,000 URLs, a quarter of them bad, and a
# record of 0xff bytes through 64 -g, each component checked as it comes.
writes=
if command -v strace >/dev/null; then
	for i in $(seq 5000); do printf 'http://[x\n/a\n/b?c\n/d\n'; done >"$dir/quarter"
	strace -f -c -e trace=write -o "$dir/strace" "$dir/bin/urlparse" -l -b http://example.org/ <"$dir/quarter" \
		>/dev/null 2>/dev/null && fails "urlparse -l on a quarter-bad file"
	writes=$(awk '$NF == "write" { print $4 }' "$dir/strace")
	echo
	echo "| 20,000 URLs a line, 5,000 of them bad | write calls |"
	echo "|---|---:|"
	printf '| %-40s | %9s |\n' "urlparse -l -b http://example.org/" "$writes"
else
	echo "bench: no strace (Debian's strace): the writes' row is left out" >&2
fi
{ printf 'http://h/'; rep 250000 x | tr x '\377'; echo; } >"$dir/ff"
gets=$(for _ in $(seq 64); do printf -- '-g pathname '; done)
/usr/bin/time -f %M -o "$dir/peak" "$dir/bin/urlparse" -l $gets <"$dir/ff" >/dev/null 2>&1 && fails "urlparse -l, 64 -g of 0xff"
ff=$(tail -n 1 "$dir/peak")
echo
echo "| a record of 250,000 bytes 0xff, 64 -g pathname | peak KiB |"
echo "|---|---:|"
printf '| %-40s | %9s |\n' "urlparse -l" "$ff"

echo
[ -z "$writes" ] || check "URL targets, a quarter bad: write calls" "$writes" 100
check "urlparse -l, 64 -g of 0xff bytes: peak KiB" "$ff" 4096
[ -z "${py-}" ] || check "URL targets: python3 / the line modes" "$(ratio "$py" "$ours")" 10 least
check "URL targets: bash loop / the line modes" "$(ratio "$loop" "$ours")" 100 least
[ -z "${fastest-}" ] || check "JSON Lines: fastest peer / jsonparse -l" "$(ratio "$fastest" "$j")" 1 least
check "JSON Lines: jsonparse -l's peak KiB" "$(/usr/bin/time -f %M "$dir/bin/jsonparse" -l -g /a -g /b <"$dir/events" 2>&1 >/dev/null)" 4096
check "every line mode's peak KiB, past its limits" "$most" 4096
rm -f "$dir/targets" "$dir/events" "$dir/big" "$dir/both" "$dir/quarter" "$dir/strace" "$dir/ff" "$dir"/*.py "$dir"/*.jq "$dir"/*.node
exit $missed
