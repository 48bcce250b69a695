#!/usr/bin/env bash
# jsonparse: start-up against a C program, python3, node and jq; twenty
# fields of a 10 KB webhook body into variables, by one jsonparse -A, by
# one jq a field, by one jq @sh with eval, and by one python3 with eval;
# and a 100 MB document from standard input, compacted, against jq,
# python3 and node, in time and peak memory; a push of 2,500 commits into
# arrays, signed or not, against jq and openssl; and what reading costs a
# byte, in instructions.
#   bash bench/jsonparse.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
peer jq jq
jsonparse=$dir/bin/jsonparse

table
case_ "jsonparse, '{\"a\":[1,2]}'"
row "C program printing its argument" /dev/null "$dir/print" '{"a":[1,2]}'
print_json=$base
row "jsonparse -g /a" /dev/null "$jsonparse" -g /a '{"a":[1,2]}'
json_start=$last
[ -z "$python" ] || row "python3 json.loads" /dev/null "$python" -c 'import json, sys; print(json.dumps(json.loads(sys.argv[1])["a"]))' '{"a":[1,2]}'
[ -z "$node" ] || row "node JSON.parse" /dev/null "$node" -e 'console.log(JSON.stringify(JSON.parse(process.argv[1]).a))' '{"a":[1,2]}'
! command -v jq >/dev/null || row "jq -c .a" /dev/null jq -nc --argjson v '{"a":[1,2]}' '$v.a'

# A webhook's body of about 10 KB, and the twenty fields a script takes
# from it: strings with a newline, a quote, UTF-8 or nothing at all, a
# number too long for a double, booleans and a null.
awk 'BEGIN {
	printf "{\"action\":\"opened\",\"number\":12345678901234567890,\"repository\":{\"id\":42,\"full_name\":\"octo/hello\","
	printf "\"private\":false,\"description\":\"A \\\"test\\\"\\nrepo, caf\\u00e9\",\"homepage\":\"\",\"topics\":[\"a\",\"b\"]},"
	printf "\"sender\":{\"login\":\"ann\",\"id\":7,\"site_admin\":true,\"name\":null},\"commits\":["
	for (i = 0; i < 40; i++)
		printf "%s{\"id\":\"%040d\",\"message\":\"fix %d\\n\\nline two of a long message, with some text %d\",\"author\":{\"name\":\"Ann %d\",\"email\":\"a%d@example.org\"},\"added\":[\"f%d.c\"],\"removed\":[],\"distinct\":true}", i ? "," : "", i, i, i, i, i, i
	printf "]}"
}' >"$dir/hook.json"
fields=(/action /number /repository/id /repository/full_name /repository/private /repository/description
	/repository/homepage /repository/topics/1 /sender/login /sender/id /sender/site_admin /sender/name
	/commits/0/id /commits/0/message /commits/3/author/name /commits/9/author/email /commits/39/added/0
	/commits/39/distinct /commits/20/message /commits/1/id)
filters=()
for p in "${fields[@]}"; do
	f=
	IFS=/ read -ra names <<<"${p#/}"
	for n in "${names[@]}"; do [[ $n == [0-9]* ]] && f+="[$n]" || f+=".$n"; done
	filters+=("$f")
done
# The body comes from a file, as a CGI script's comes on standard input,
# the same for every way.
hook=$dir/hook.json
# Each way ends with the twenty fields in shell variables: jsonparse -A
# has them in the array, whence they are taken for the comparison after
# the time is taken.
declare -A j
hook_jsonparse() { jsonparse -A j <"$hook" || { echo "bench: jsonparse -A refused the body" >&2; exit 1; }; }
hook_jq() { local i; for ((i = 0; i < 20; i++)); do v[i]=$(jq -r "${filters[i]}" "$hook"); done; }
hook_jqsh() {
	local s= i
	for ((i = 0; i < 20; i++)); do s+="v[$i]=\\(${filters[i]}) "; done
	eval "$(jq -r "@sh \"$s\"" "$hook")"
}
hook_python() {
	eval "$("$python" -c 'import json, shlex, sys
d = json.load(sys.stdin)
for i, p in enumerate(sys.argv[1:]):
    v = d
    for n in p.split("/")[1:]:
        v = v[int(n)] if isinstance(v, list) else v[n]
    if not isinstance(v, str):
        v = json.dumps(v)
    print("v[%d]=%s" % (i, shlex.quote(v)))' "${fields[@]}" <"$hook")"
}
hook_ms() {		# hook_ms RUNS WAY: the best ms for one body, and its values
	local b= t e r
	for ((r = 0; r < $1; r++)); do v=(); t=$EPOCHREALTIME; "$2"; e=$EPOCHREALTIME; b=$(least "$b" "$(ms "$t" "$e")"); done
	if [ "$2" = hook_jsonparse ]; then
		for ((r = 0; r < 20; r++)); do v[r]=${j[${fields[r]}]}; done
	fi
	printf '%s\036' "${v[@]}" >"$dir/$2.values"
	echo "$b"
}
if [ -n "$builtins" ]; then
	enable -f shelltools jsonparse
	echo
	echo "| 20 fields of a 10 KB JSON body into variables | ms a body | it / jsonparse -A | fields unlike jsonparse's |"
	echo "|---|---:|---:|---:|"
	ours=$(hook_ms 50 hook_jsonparse)
	for way in hook_jq hook_jqsh hook_python; do
		[[ $way == hook_python && -z $python ]] && continue
		[[ $way == hook_jq* ]] && ! command -v jq >/dev/null && continue
		t=$(hook_ms 3 $way)
		[[ $way != hook_jqsh ]] || jqsh_ms=$t
		printf '| %-34s | %9.2f | %8s | %5s |\n' "$way" "$t" "$(ratio "$t" "$ours")" \
			"$(awk -v RS='\036' 'NR == FNR { w[FNR] = $0; next } ($0 "") != (w[FNR] "") { n++ } END { print n + 0 }' \
				"$dir/hook_jsonparse.values" "$dir/$way.values")"
	done
	printf '| %-34s | %9.3f | %8s | %5s |\n' "jsonparse -A" "$ours" 1.00 0
fi

# 100 MB of JSON: records of strings, numbers and arrays, the same on
# every machine, compacted from standard input to /dev/null.
awk 'BEGIN { srand(7); printf "[" } { for (k = 0; k < 60; k++) printf "%s{\"id\":%d,\"name\":\"item %d\",\"text\":\"%s\",\"price\":%d.%02d,\"tags\":[\"x\",\"y\",%d],\"ok\":%s,\"next\":null}\n", (NR > 1 || k) ? "," : "", NR * 100 + k, k, $0, NR % 1000, k, k, k % 2 ? "true" : "false" } END { printf "]" }' \
	"$dir/encoded" "$dir/encoded" "$dir/encoded" "$dir/encoded" "$dir/encoded" "$dir/encoded" >"$dir/big.json"
while [ "$(wc -c <"$dir/big.json")" -lt 100000000 ]; do
	# Doubled: the array's members twice over.
	{ head -c -1 "$dir/big.json"; printf ','; tail -c +2 "$dir/big.json"; } >"$dir/big2.json"
	mv "$dir/big2.json" "$dir/big.json"
done
size=$(awk -v n="$(wc -c <"$dir/big.json")" 'BEGIN { printf "%.0f", n / 1e6 }')
echo
echo "| a $size MB document from standard input, compacted | s | peak KiB |"
echo "|---|---:|---:|"
t=$EPOCHREALTIME
/usr/bin/time -f %M -o "$dir/peak" "$jsonparse" <"$dir/big.json" >/dev/null ||
	{ echo "bench: jsonparse refused the document" >&2; exit 1; }
e=$EPOCHREALTIME
ours_s=$(awk -v a="$t" -v b="$e" 'BEGIN { print b - a }') ours_kb=$(tail -n 1 "$dir/peak")
printf '| %-34s | %7.2f | %9s |\n' "jsonparse" "$ours_s" "$ours_kb"
slowest=
for way in jq python node; do
	t=$EPOCHREALTIME
	case $way in
	jq) command -v jq >/dev/null || continue; label="jq -c ."; set -- jq -c . ;;
	python) [ -n "$python" ] || continue; label="python3 -m json.tool --compact"; set -- "$python" -m json.tool --compact ;;
	node) [ -n "$node" ] || continue; label="node JSON.parse, JSON.stringify"
		set -- "$node" --max-old-space-size=16384 -e 'let s = require("fs").readFileSync(0, "utf8"); process.stdout.write(JSON.stringify(JSON.parse(s)))' ;;
	esac
	# A way that fails is no time: the benchmark fails with it.
	/usr/bin/time -f %M -o "$dir/peak" "$@" <"$dir/big.json" >/dev/null 2>&1 ||
		{ echo "bench: $label failed" >&2; missed=1; continue; }
	e=$EPOCHREALTIME
	s=$(awk -v a="$t" -v b="$e" 'BEGIN { print b - a }')
	printf '| %-34s | %7.2f | %9s |\n' "$label" "$s" "$(tail -n 1 "$dir/peak")"
	fastest_peer=$(least "${fastest_peer-}" "$s")
done
rm -f "$dir/big.json"

# A push of 2,500 commits, some 1.2 MB, into arrays: every value, or only
# the commits' ids, which -g keeps (callgrind, bash's children traced).
if [ -n "$builtins" ]; then
	awk 'BEGIN {
		printf "{\"ref\":\"refs/heads/main\",\"repository\":{\"id\":1,\"full_name\":\"o/r\"},\"commits\":["
		for (i = 0; i < 2500; i++)
			printf "%s{\"id\":\"%040d\",\"tree_id\":\"%040d\",\"distinct\":true,\"message\":\"change number %d to the thing\",\"timestamp\":\"2026-12-10T00:00:00Z\",\"url\":\"https://example.com/o/r/commit/%040d\",\"author\":{\"name\":\"Ann\",\"email\":\"ann@example.com\",\"username\":\"ann\"},\"committer\":{\"name\":\"Ann\",\"email\":\"ann@example.com\",\"username\":\"ann\"},\"added\":[],\"removed\":[],\"modified\":[\"src/%d.c\"]}", i ? "," : "", i, 7 * i, i, i, i
		printf "]}"
	}' >"$dir/push.json"
	push() {	# push [OPTION...]: instructions of bash reading the push into arrays
		local n
		n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null bash -c \
			'enable -f shelltools jsonparse && declare -A j n && jsonparse -A j -C n "$@" && [ "${n[/commits]}" = 2500 ]' \
			push "$@" <"$dir/push.json" 2>&1 >/dev/null | sed -n 's/.*Collected : //p')
		echo "$n"
	}
	all=$(push) ids=$(push -g /ref -g '/commits/~/id')
	[ -n "$all" ] && [ -n "$ids" ] || { echo "bench: jsonparse -A failed on the push" >&2; exit 1; }
	peers=
	command -v jq >/dev/null && peers=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null jq -c '[.ref, [.commits[].id]]' \
		<"$dir/push.json" 2>&1 >/dev/null | sed -n 's/.*Collected : //p')
	echo
	echo "| a push of 2,500 commits, $(($(wc -c <"$dir/push.json") / 1000)) KB, into arrays | instructions | it / -g |"
	echo "|---|---:|---:|"
	printf '| %-40s | %13s | %7s |\n' "jsonparse -A j -C n" "$all" "$(ratio "$all" "$ids")"
	printf '| %-40s | %13s | %7s |\n' "jsonparse -A j -C n -g '/commits/~/id'" "$ids" 1.00
	[ -z "$peers" ] || printf '| %-40s | %13s | %7s |\n' "jq -c '[.ref, [.commits[].id]]'" "$peers" "$(ratio "$peers" "$ids")"
	# The same push signed, as GitHub sends it: formdata checks the
	# signature and keeps the ids; openssl checks it, and jq takes them.
	signed=
	if command -v openssl >/dev/null && [ -n "$peers" ]; then
		printf 'It5-sh4red-s3cret\n' >"$dir/push.key"
		mac=$(openssl dgst -sha256 -hmac It5-sh4red-s3cret -r <"$dir/push.json") && mac=sha256=${mac%% *}
		signed=$(CONTENT_TYPE=application/json CONTENT_LENGTH=$(wc -c <"$dir/push.json") HTTP_X_HUB_SIGNATURE_256=$mac \
			valgrind --tool=callgrind --callgrind-out-file=/dev/null bash -c 'enable -f shelltools formdata &&
				declare -A j n && formdata -b json -l 2097152 -S github -f "$1" -A j -C n -g /ref -g "/commits/~/id" &&
				[ "${n[/commits]}" = 2500 ] && [ "${j[/commits/2499/id]}" = "$2" ]' push "$dir/push.key" "$(printf %040d 2499)" \
			<"$dir/push.json" 2>&1 >/dev/null | sed -n 's/.*Collected : //p') || signed=
		checked=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null openssl dgst -sha256 -hmac It5-sh4red-s3cret -r \
			<"$dir/push.json" 2>&1 >/dev/null | sed -n 's/.*Collected : //p') || checked=
		[ -n "$signed" ] && [ -n "$checked" ] || { echo "bench: the signed push failed" >&2; exit 1; }
		theirs=$((checked + peers))
		printf '| %-40s | %13s | %7s |\n' "signed: formdata -S github -g ..." "$signed" "$(ratio "$signed" "$ids")" \
			"signed: openssl dgst -hmac, then jq" "$theirs" "$(ratio "$theirs" "$ids")"
	fi
	rm -f "$dir/push.json" "$dir/push.key"
fi

# Reading JSON, in instructions a byte of the text: 5,000 records of a
# service's log, nested objects, two and three fields a record; one string
# of 1 MB; and the 10 KB body into an array, less the same of {}.
awk 'BEGIN {
	for (i = 0; i < 5000; i++) {
		printf "{\"ts\":\"2026-12-10T06:%02d:%02d.%03dZ\",\"level\":\"%s\",", i % 60, i % 60, i % 1000, i % 7 ? "info" : "error"
		printf "\"msg\":\"request handled in %d ms for user %d\",", i % 500, i
		printf "\"req\":{\"method\":\"GET\",\"path\":\"/api/v1/items/%d\",\"status\":%d,", i, i % 7 ? 200 : 500
		printf "\"headers\":{\"user-agent\":\"Mozilla/5.0 (X11; Linux x86_64)\",\"accept\":\"application/json\","
		printf "\"x-request-id\":\"%08x-%04x\"},\"bytes\":%d},\"tags\":[\"api\",\"v1\",\"prod\"],", i * 7, i % 3, i * 13
		printf "\"ctx\":{\"host\":\"web-%d\",\"pid\":%d,\"dur\":%d.%03d}}\n", i % 9, i + 1000, i % 100, i % 1000
	}
}' >"$dir/log.jsonl"
awk 'BEGIN { printf "\""; for (i = 0; i < 20000; i++) printf "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVW"; printf "\"" }' >"$dir/string.json"
perbyte() {		# perbyte FILE CMD...: instructions a byte of FILE, CMD's output checked first
	"${@:2}" <"$1" >"$dir/perbyte.out" || { echo "bench: $2 ${3-} failed" >&2; exit 1; }
	awk -v n="$(instructions "$1" "${@:2}")" -v b="$(wc -c <"$1")" 'BEGIN { printf "%.2f", n / b }'
}
# The two fields of each way's records: 715 of the 5,000 are an error.
twofields() { [ "$(grep -c '^500	error$' "$dir/perbyte.out")" = 715 ] || { echo "bench: jsonparse -l: other fields" >&2; exit 1; }; }
two=$(perbyte "$dir/log.jsonl" "$jsonparse" -l -g /req/status -g /level)
twofields
three=$(perbyte "$dir/log.jsonl" "$jsonparse" -l -g /req/status -g /level -g /ctx/host)
# The records of a log most often share a shape, which the line mode
# checks each against: the same log with two shapes in turn, and with
# each record a shape of its own (a name of its own at its end).
awk 'NR % 2 == 0 { sub(/"level":/, "\"err\":\"x\",\"level\":") } { print }' "$dir/log.jsonl" >"$dir/turns.jsonl"
awk '{ sub(/}}$/, ",\"n" NR "\":1}}") } { print }' "$dir/log.jsonl" >"$dir/own.jsonl"
turns=$(perbyte "$dir/turns.jsonl" "$jsonparse" -l -g /req/status -g /level)
twofields
own=$(perbyte "$dir/own.jsonl" "$jsonparse" -l -g /req/status -g /level)
twofields
string=$(perbyte "$dir/string.json" "$jsonparse")
[ "$(wc -c <"$dir/perbyte.out")" = 1000000 ] || { echo "bench: jsonparse: another string" >&2; exit 1; }
echo
echo "| reading JSON | instructions a byte |"
echo "|---|---:|"
printf '| %-48s | %7s |\n' "jsonparse -l, 2 fields of a log record" "$two" "jsonparse -l, 3 fields of a log record" "$three" \
	"jsonparse -l, 2 fields, two shapes in turn" "$turns" "jsonparse -l, 2 fields, a shape a record" "$own" \
	"jsonparse, one string of 1 MB" "$string"
if [ -n "$builtins" ]; then
	into() {	# into FILE TEST: instructions of bash reading FILE into an array, TEST then true
		valgrind --tool=callgrind --callgrind-out-file=/dev/null bash -c \
			'enable -f shelltools jsonparse && declare -A j && jsonparse -A j && '"$2" <"$1" 2>&1 >/dev/null |
			sed -n 's/.*Collected : //p'
	}
	echo '{}' >"$dir/empty.json"
	body=$(into "$hook" '[ "${j[/commits/39/distinct]}" = true ]') || body=
	none=$(into "$dir/empty.json" '[ "${#j[@]}" = 0 ]') || none=
	[ -n "$body" ] && [ -n "$none" ] || { echo "bench: jsonparse -A failed on the body" >&2; exit 1; }
	hookA=$((body - none))
	printf '| %-48s | %7s |\n' "jsonparse -A, the 10 KB body less {} (all of it)" \
		"$(awk -v n="$hookA" -v b="$(wc -c <"$hook")" 'BEGIN { printf "%.2f", n / b }')"
fi
rm -f "$dir/log.jsonl" "$dir/turns.jsonl" "$dir/own.jsonl" "$dir/string.json" "$dir/perbyte.out" "$dir/empty.json"

echo
check "jsonparse start-up / C program" "$(ratio "$json_start" "$print_json")" 1.15
[ -z "${ids-}" ] || check "the push, every value / only the ids (-g)" "$(ratio "$all" "$ids")" 1.2 least
[ -z "${signed-}" ] || check "the signed push: openssl and jq / formdata -S -g" "$(ratio "$theirs" "$signed")" 5 least
check "jsonparse -l, 2 fields of a log record: instructions a byte" "$two" 8
check "jsonparse -l, 3 fields of a log record: instructions a byte" "$three" 8
check "jsonparse, one string of 1 MB: instructions a byte" "$string" 2
[ -z "$builtins" ] || [ -z "${jqsh_ms-}" ] ||
	check "20 fields: jq @sh and eval / jsonparse -A" "$(ratio "$jqsh_ms" "$ours")" 100 least
[ -z "${fastest_peer-}" ] || check "100 MB: fastest peer / jsonparse, in time" "$(ratio "$fastest_peer" "$ours_s")" 1 least
check "100 MB: jsonparse's peak KiB" "$ours_kb" 4096
exit $missed
