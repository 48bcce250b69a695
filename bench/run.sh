#!/usr/bin/env bash
# Measures urldecode, urlencode and shares against the least a C program can do in
# their place, and against a user's usual alternatives, by instruction count
# (valgrind's callgrind: the same figure on a busy machine) and peak memory
# (/usr/bin/time). Prints one table and checks the targets; exits 1 if one
# is missed.
#   bash bench/run.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-bench}

for tool in valgrind /usr/bin/time cc cmake; do
	command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" -j >/dev/null
cc -O2 -o "$dir/print" bench/print.c
cc -O2 -o "$dir/scanf" bench/scanf.c
urldecode=$dir/bin/urldecode urlencode=$dir/bin/urlencode shares=$dir/bin/shares

# The peers that scripts use today, from Debian, where they can be had.
peer() {		# peer COMMAND PACKAGE: installed, as root, if missing
	command -v "$1" >/dev/null && return
	[ "$(id -u)" = 0 ] && command -v apt-get >/dev/null &&
		DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$2" >/dev/null 2>&1
	command -v "$1" >/dev/null || echo "bench: no $1 (Debian's $2): its rows are left out" >&2
}
peer jq jq

# instructions INPUT CMD...: instructions that CMD runs, stdin from INPUT.
instructions() {
	local in=$1; shift
	valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" <"$in" 2>&1 >/dev/null |
		sed -n 's/.*Collected : //p'
}
# peak INPUT CMD...: peak resident memory in KiB, the least of three runs,
# since the figure moves a little from run to run.
peak() {
	local in=$1; shift
	for _ in 1 2 3; do
		/usr/bin/time -f %M -o "$dir/peak" "$@" <"$in" >/dev/null 2>&1 || true
		tail -n 1 "$dir/peak"
	done | sort -n | head -n 1
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

base=
row() {			# row LABEL INPUT CMD...; the first row of a case is its base
	local label=$1 in=$2; shift 2
	local n m
	n=$(instructions "$in" "$@")
	m=$(peak "$in" "$@")
	[ -n "$base" ] || base=$n
	printf '| %-34s | %13s | %6s | %9s |\n' "$label" "$n" "$(ratio "$n" "$base")" "$m"
	last=$n
}
case_() { base=; printf '| **%s** | | | |\n' "$1"; }

# The interpreter itself, not a wrapper script that would start it.
python=$(python3 -c 'import sys; print(sys.executable)' 2>/dev/null || true)
unquote='import sys, urllib.parse; sys.stdout.write(urllib.parse.unquote_plus(sys.argv[-1]))'
quote='import os, sys, urllib.parse; sys.stdout.write(urllib.parse.quote_plus(os.fsencode(sys.argv[-1]), safe=""))'
awk_shares='{ t = $1 + $2 + $3 + $4 + $5; printf "%4.2f %4.2f %4.2f %4.2f %4.2f %d", 100 * $1 / t, 100 * $2 / t, 100 * $3 / t, 100 * $4 / t, 100 * $5 / t, t }'

# The longest argument Linux passes, all metacharacters, and half of it.
meta='&;`'"'"'|*?-~<>^()[]{}$\'
long=$(printf '%s' "$(printf "$meta%.0s" $(seq 6554))" | head -c 131071)
half=${long:0:65535}
printf '3 1 0 0 4\n' >"$dir/five"

echo "| case and program | instructions | ratio | peak KiB |"
echo "|---|---:|---:|---:|"
case_ "urldecode, short argument '+%24HOME%3B+'"
row "C program printing its argument" /dev/null "$dir/print" '+%24HOME%3B+'
print_short=$base
row "urldecode -b -e" /dev/null "$urldecode" -b -e '+%24HOME%3B+'
start=$last
[ -z "$python" ] || row "python3 urllib.parse.unquote_plus" /dev/null "$python" -c "$unquote" '+%24HOME%3B+'
case_ "urldecode, 131071 metacharacters"
row "C program printing its argument" /dev/null "$dir/print" "$long"
print_long=$base
row "urldecode -b -e" /dev/null "$urldecode" -b -e "$long"
big=$last
[ -z "$python" ] || row "python3 urllib.parse.unquote_plus" /dev/null "$python" -c "$unquote" "$long"
case_ "urldecode, 65535 metacharacters"
row "C program printing its argument" /dev/null "$dir/print" "$half"
row "urldecode -b -e" /dev/null "$urldecode" -b -e "$half"
small=$last
case_ "urlencode, short argument 'café au lait'"
row "C program printing its argument" /dev/null "$dir/print" $'caf\xc3\xa9 au lait'
print_enc=$base
row "urlencode" /dev/null "$urlencode" $'caf\xc3\xa9 au lait'
enc_start=$last
[ -z "$python" ] || row "python3 urllib.parse.quote_plus" /dev/null "$python" -c "$quote" $'caf\xc3\xa9 au lait'
case_ "shares, '3 1 0 0 4'"
row "C program with scanf and printf" "$dir/five" "$dir/scanf"
scanf_base=$base
row "shares" "$dir/five" "$shares"
shares_start=$last
row "awk one-liner" "$dir/five" awk "$awk_shares"

# The loop a shell script runs: 1000 encoded lines, one call each, in a
# while-read loop. What a call costs is the loop's time less that of the
# same loop calling nothing, the best of a few runs, as other work on the
# machine only ever adds time. The loops that stay in the shell cost so
# little that they go over the lines ten times a run, to stand above the
# noise. Each way's output is compared with the program's, line by line.
awk -f bench/lines.awk >"$dir/lines"
for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$dir/lines"; done >"$dir/lines10"
builtin=$dir/lib/bash/urldecode
[ ! -f "$builtin" ] || enable -f "$builtin" urldecode
# Each result ends with a record separator of its own, since a decoded
# line may hold a newline; every way prints it alike, with a printf of
# its own.
loop_none() { while IFS= read -r l; do printf '\036\n'; done; }
loop_program() { while IFS= read -r l; do "$urldecode" "$l"; printf '\036\n'; done; }
loop_builtin() { while IFS= read -r l; do urldecode "$l"; printf '\036\n'; done; }
loop_python() { while IFS= read -r l; do "$python" -c "$unquote" "$l"; printf '\036\n'; done; }
loop_idiom() { while IFS= read -r l; do l=${l//+/ }; printf '%b' "${l//%/\\x}"; printf '\036\n'; done; }
usecs() {		# usecs RUNS LOOP LINES: the best time of the loop a line
	local best= t
	for ((r = 0; r < $1; r++)); do
		t=$EPOCHREALTIME
		"$2" <"$dir/$3" >"$dir/$2.out" 2>/dev/null
		t=$(awk -v a="$t" -v b="$EPOCHREALTIME" -v n="$(wc -l <"$dir/$3")" 'BEGIN { print (b - a) * 1e6 / n }')
		best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
	done
	echo "$best"
}
unlike() {		# unlike OUTPUT [REFERENCE]: lines that differ
	awk -v RS='\036\n' 'NR == FNR { want[FNR] = $0; next }
		FNR <= 1000 && $0 != want[FNR] { n++ } END { print n + 0 }' "${2:-$prog_out}" "$1"
}
echo
echo "| while-read loop over 1000 lines, one call a line | µs a call | program / it | lines unlike the program's |"
echo "|---|---:|---:|---:|"
loop() {		# loop LABEL RUNS LOOP LINES [BASE]: the first of a table is its base
	local us
	us=$(awk -v t="$(usecs "$2" "$3" "$4")" -v e="$(usecs "$2" "${5:-loop_none}" "$4")" 'BEGIN { printf "%.1f", t - e }')
	[[ $3 != *_program ]] || prog_us=$us prog_out=$dir/$3.out
	printf '| %-34s | %9s | %7s | %5s |\n' "$1" "$us" "$(ratio "$prog_us" "$us")" "$(unlike "$dir/$3.out" ${ref-})"
	last=$us
}
loop "urldecode program" 3 loop_program lines
loop_prog_us=$last
[ ! -f "$builtin" ] || { loop "urldecode builtin" 5 loop_builtin lines10; builtin_us=$last; }
[ -z "$python" ] || loop "python3 -c unquote_plus" 1 loop_python lines
loop "printf '%b' \"\${s//%/\\\\x}\"" 5 loop_idiom lines10
idiom_us=$last

# The result into a variable, as scripts mostly want it: a command
# substitution forks even for a builtin, which -v does without. Each loop
# prints the variable, as the base loop does with the line itself.
var_none() { while IFS= read -r l; do x=$l; printf '%s' "$x"; printf '\036\n'; done; }
var_program() { while IFS= read -r l; do x=$("$urldecode" "$l"); printf '%s' "$x"; printf '\036\n'; done; }
var_subst() { while IFS= read -r l; do x=$(urldecode "$l"); printf '%s' "$x"; printf '\036\n'; done; }
var_setvar() { while IFS= read -r l; do urldecode -v x "$l"; printf '%s' "$x"; printf '\036\n'; done; }
var_idiom() { while IFS= read -r l; do l=${l//+/ }; printf -v x '%b' "${l//%/\\x}"; printf '%s' "$x"; printf '\036\n'; done; }
if [ -f "$builtin" ]; then
	echo
	echo "| result into a variable, 1000 lines | µs a call | program / it | lines unlike the program's |"
	echo "|---|---:|---:|---:|"
	loop 'x=$(urldecode "$s"), program' 3 var_program lines var_none
	var_prog_us=$last
	loop 'x=$(urldecode "$s"), builtin' 3 var_subst lines var_none
	loop 'urldecode -v x "$s"' 5 var_setvar lines10 var_none
	setvar_us=$last
	loop "printf -v x '%b' \"\${s//%/\\\\x}\"" 5 var_idiom lines10 var_none
	setvar_idiom_us=$last
fi

# The other direction: the same lines encoded into a variable, by the
# builtin, by the program, by jq (whose @uri is -r's encoding), by the
# usual loop over the characters in pure bash (right only in the C
# locale, where a character is a byte), and by python3.
enc_program() { while IFS= read -r l; do x=$("$urlencode" "$l"); printf '%s' "$x"; printf '\036\n'; done; }
enc_setvar() { while IFS= read -r l; do urlencode -v x "$l"; printf '%s' "$x"; printf '\036\n'; done; }
enc_setvar_r() { while IFS= read -r l; do urlencode -v x -r "$l"; printf '%s' "$x"; printf '\036\n'; done; }
enc_jq() { while IFS= read -r l; do x=$(jq -rR @uri <<<"$l"); printf '%s' "$x"; printf '\036\n'; done; }
enc_python() { while IFS= read -r l; do x=$("$python" -c "$quote" "$l"); printf '%s' "$x"; printf '\036\n'; done; }
enc_bash() {
	local LC_ALL=C l i c
	while IFS= read -r l; do
		x=
		for ((i = 0; i < ${#l}; i++)); do
			c=${l:i:1}
			case $c in
			[A-Za-z0-9._~-]) x+=$c ;;
			' ') x+=+ ;;
			*) printf -v c '%%%02X' "'$c"; x+=$c ;;
			esac
		done
		printf '%s' "$x"; printf '\036\n'
	done
}
encbuiltin=$dir/lib/bash/urlencode
if [ -f "$encbuiltin" ]; then
	enable -f "$encbuiltin" urlencode
	enc_setvar_r <"$dir/lines" >"$dir/enc_setvar_r.out"
	echo
	echo "| encoded into a variable, 1000 lines | µs a call | program / it | lines unlike the program's |"
	echo "|---|---:|---:|---:|"
	loop 'x=$(urlencode "$s"), program' 3 enc_program lines var_none
	enc_prog_us=$last
	loop 'urlencode -v x "$s"' 5 enc_setvar lines10 var_none
	enc_setvar_us=$last
	if command -v jq >/dev/null; then
		ref=$dir/enc_setvar_r.out loop 'x=$(jq -rR @uri <<<"$s"), against -r' 3 enc_jq lines var_none
	fi
	loop "pure bash, printf '%%%02X' a byte" 3 enc_bash lines var_none
	enc_bash_us=$last
	[ -z "$python" ] || loop 'x=$(python3 -c quote_plus)' 1 enc_python lines var_none
fi

# A form of ten fields, each value one of the lines, into an associative
# array: split in the shell, then each half decoded with -v, against one
# call of -A. Both must give the same array.
awk '{ l[NR] = $0 } END { for (i = 1; i <= NR; i++) { q = ""
	for (f = 0; f < 10; f++) q = q (f ? "&" : "") "k" f "=" l[(i + f - 1) % NR + 1]
	print q } }' "$dir/lines" >"$dir/queries"
for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$dir/queries"; done >"$dir/queries10"
query_none() { local q; while IFS= read -r q; do :; done; }
query_loop() {
	local -A h
	local q f k v fs
	while IFS= read -r q; do
		h=()
		IFS='&' read -ra fs <<<"$q"
		for f in "${fs[@]}"; do
			[ -n "$f" ] || continue
			k=${f%%=*} v=
			[[ $f != *=* ]] || v=${f#*=}
			urldecode -v k "$k"
			urldecode -v v "$v"
			[ -z "$k" ] || h[$k]=$v
		done
		$show
	done
}
query_builtin() { local -A h; local q; while IFS= read -r q; do urldecode -A h "$q"; $show; done; }
if [ -f "$builtin" ]; then
	show='declare -p h'
	query_loop <"$dir/queries" >"$dir/query_loop.arrays"
	query_builtin <"$dir/queries" >"$dir/query_builtin.arrays"
	show=:
	echo
	echo "| a 10-field query string into an associative array, 1000 queries | µs a query | loop / it | arrays unlike the loop's |"
	echo "|---|---:|---:|---:|"
	query_us=$(awk -v t="$(usecs 3 query_loop queries)" -v e="$(usecs 3 query_none queries)" 'BEGIN { printf "%.1f", t - e }')
	assoc_us=$(awk -v t="$(usecs 5 query_builtin queries10)" -v e="$(usecs 5 query_none queries10)" 'BEGIN { printf "%.1f", t - e }')
	printf '| %-34s | %9s | %7s | %5s |\n' "IFS='&' read -ra, urldecode -v each" "$query_us" 1.00 0
	printf '| %-34s | %9s | %7s | %5s |\n' "urldecode -A h \"\$q\"" "$assoc_us" "$(ratio "$query_us" "$assoc_us")" \
		"$(diff "$dir/query_loop.arrays" "$dir/query_builtin.arrays" | grep -c "^>")"
fi

# Targets: start-up within 15% of the C programs; at most 30 instructions a
# byte above printing the argument; twice the argument, at most twice the
# work beyond start-up (within 10%).
ok=0
check() {		# check WHAT VALUE LIMIT [least]: at most LIMIT, or at least
	local verdict=ok bound=${4:-most}
	awk -v v="$2" -v l="$3" -v b="$bound" 'BEGIN { exit !(b == "most" ? v <= l : v >= l) }' ||
		{ verdict=MISSED; ok=1; }
	printf '%-50s %8s  (at %s %s) %s\n' "$1" "$2" "$bound" "$3" "$verdict"
}
echo
check "urldecode start-up / C program" "$(ratio "$start" "$print_short")" 1.15
check "urldecode -b -e: instructions a byte above it" \
	"$(awk -v u="$big" -v p="$print_long" 'BEGIN { printf "%.1f", (u - p) / 131071 }')" 30
check "urldecode work, 131071 / 65535 bytes" "$(ratio $((big - start)) $((small - start)))" 2.2
check "urlencode start-up / C program" "$(ratio "$enc_start" "$print_enc")" 1.15
check "shares start-up / C program" "$(ratio "$shares_start" "$scanf_base")" 1.15
# In a loop: the builtin a hundredth of the program's cost a call or less,
# and no dearer than the printf idiom, which gets bytes wrong.
if [ -n "${builtin_us-}" ]; then
	check "loop: program / builtin, a call" "$(ratio "$loop_prog_us" "$builtin_us")" 100 least
	check "loop: builtin / printf '%b' idiom, a call" "$(ratio "$builtin_us" "$idiom_us")" 1.00
	check "variable: \$(program) / urldecode -v, a call" "$(ratio "$var_prog_us" "$setvar_us")" 100 least
	check "variable: urldecode -v / printf -v idiom, a call" "$(ratio "$setvar_us" "$setvar_idiom_us")" 1.00
	check "query: shell loop / urldecode -A, a query" "$(ratio "$query_us" "$assoc_us")" 3 least
	check "encode: \$(program) / urlencode -v, a call" "$(ratio "$enc_prog_us" "$enc_setvar_us")" 100 least
	check "encode: pure bash loop / urlencode -v, a call" "$(ratio "$enc_bash_us" "$enc_setvar_us")" 20 least
else
	echo "the bash builtin is not built (no bash headers): its loop targets are not checked"
fi
exit $ok
