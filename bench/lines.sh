#!/usr/bin/env bash
# Whole files through the line modes: 30 MB of an access log's targets,
# decoded by urldecode -l (the builtin) and taken apart by urlparse -l,
# against python3 doing the same with unquote_plus and urlsplit and
# against the bash loop over the builtins, one call a line; 40 MB of JSON
# Lines through jsonparse -l, against jq's @tsv, python3 and node; and
# the peak memory of every line mode on records at and past its limits.
# Each run must succeed, or refuse just what it should.
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
decode_python() { "$python" -c 'import sys
from urllib.parse import unquote_plus
w = sys.stdout.write
for l in sys.stdin:
    w(unquote_plus(l[:-1]) + "\n")' <"$dir/targets" >"$dir/decoded.py" || fails "python3 unquote_plus"; }
parse_python() { "$python" -c 'import sys
from urllib.parse import urlsplit
w = sys.stdout.write
for l in sys.stdin:
    w(urlsplit(l[:-1]).path + "\n")' <"$dir/targets" >"$dir/paths.py" || fails "python3 urlsplit"; }
decode_loop() { local l x; while IFS= read -r l; do urldecode -v x "$l"; printf '%s\n' "$x"; done \
	<"$dir/targets20" >"$dir/decoded.loop" || fails "the urldecode loop"; }
parse_loop() { local l x; while IFS= read -r l; do urlparse -v x -b http://example.org/ -g pathname "$l"; \
	printf '%s\n' "$x"; done <"$dir/targets20" >"$dir/paths.loop" || fails "the urlparse loop"; }
unlike() { paste -d '\n' "$1" "$2" | awk 'NR % 2 { a = $0; next } $0 != a { n++ } END { print n + 0 }'; }

echo "| $size MB of URL targets, $lines lines | s | it / line mode | lines unlike the line mode's |"
echo "|---|---:|---:|---:|"
d=$(timed decode_lines) p=$(timed parse_lines)
[ "$(wc -l <"$dir/decoded")" = "$lines" ] && [ "$(wc -l <"$dir/paths")" = "$lines" ] ||
	fails "a line mode: a line lost"
# The loops take a twentieth of the file, and are counted whole.
dl=$(awk -v t="$(timed decode_loop)" 'BEGIN { print t * 20 }')
pl=$(awk -v t="$(timed parse_loop)" 'BEGIN { print t * 20 }')
cmp -s "$dir/decoded.loop" <(head -n 65000 "$dir/decoded") || fails "the urldecode loop: other bytes than -l"
cmp -s "$dir/paths.loop" <(head -n 65000 "$dir/paths") || fails "the urlparse loop: other bytes than -l"
row() { printf '| %-40s | %7.2f | %8s | %6s |\n' "$1" "$2" "$(ratio "$2" "$3")" "$4"; }
row "urldecode -l, the builtin" "$d" "$d" 0
row "bash loop, urldecode -v a line (x 20)" "$dl" "$d" 0
if [ -n "$python" ]; then
	dp=$(timed decode_python)
	row "python3 unquote_plus" "$dp" "$d" "$(unlike "$dir/decoded" "$dir/decoded.py")"
fi
row "urlparse -l -g pathname" "$p" "$p" 0
row "bash loop, urlparse -v a line (x 20)" "$pl" "$p" 0
if [ -n "$python" ]; then
	pp=$(timed parse_python)
	row "python3 urlsplit().path" "$pp" "$p" "$(unlike "$dir/paths" "$dir/paths.py")"
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
awk 'BEGIN { s = sprintf("%262143s", ""); gsub(/ /, "&", s); print s; t = sprintf("%170000s", ""); gsub(/ /, "<", t); print t
	u = sprintf("%10485760s", ""); gsub(/ /, "x", u); print u }' >"$dir/big"
awk 'BEGIN { s = sprintf("%40000s", ""); gsub(/ /, "<", s); printf "{\"a\":[\"%s\",\"%s\",\"%s\",\"%s\",\"%s\"]}\n[", s, s, s, s, s
	for (i = 0; i < 120000; i++) printf "1,"; print "1]" }' >"$dir/big.jsonl"
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
	most=$(awk -v a="$most" -v b="$m" 'BEGIN { print b > a ? b : a }')
done

echo
check "URL targets: python3 unquote_plus / urldecode -l" "$(ratio "${dp:-0}" "$d")" 10 least
check "URL targets: python3 urlsplit / urlparse -l" "$(ratio "${pp:-0}" "$p")" 10 least
check "URL targets: bash loop / urldecode -l" "$(ratio "$dl" "$d")" 100 least
check "URL targets: bash loop / urlparse -l" "$(ratio "$pl" "$p")" 100 least
[ -z "${fastest-}" ] || check "JSON Lines: fastest peer / jsonparse -l" "$(ratio "$fastest" "$j")" 1 least
check "JSON Lines: jsonparse -l's peak KiB" "$(/usr/bin/time -f %M "$dir/bin/jsonparse" -l -g /a -g /b <"$dir/events" 2>&1 >/dev/null)" 4096
check "every line mode's peak KiB, past its limits" "$most" 4096
rm -f "$dir/targets" "$dir/events" "$dir/big" "$dir"/*.py "$dir"/*.jq "$dir"/*.node
exit $missed
