#!/usr/bin/env bash
# urldecode: start-up and work against a C program that prints its
# argument and against python3; then 1000 lines through a shell loop, one
# call a line, by the program, the builtin, python3 and the printf '%b'
# idiom, and into a variable; then a form's ten fields into an array.
#   bash bench/urldecode.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
unquote='import sys, urllib.parse; sys.stdout.write(urllib.parse.unquote_plus(sys.argv[-1]))'
# The longest argument Linux passes, all metacharacters, and half of it.
meta='&;`'"'"'|*?-~<>^()[]{}$\'
# (Cut in the shell: under pipefail, head's early exit may fail printf.)
long=$(printf "$meta%.0s" $(seq 6554))
long=${long:0:131071}
half=${long:0:65535}

table
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

[ -z "$builtins" ] || enable -f shelltools urldecode
loop_program() { while IFS= read -r l; do "$urldecode" "$l"; printf '\036\n'; done; }
loop_builtin() { while IFS= read -r l; do urldecode "$l"; printf '\036\n'; done; }
loop_python() { while IFS= read -r l; do "$python" -c "$unquote" "$l"; printf '\036\n'; done; }
loop_idiom() { while IFS= read -r l; do l=${l//+/ }; printf '%b' "${l//%/\\x}"; printf '\036\n'; done; }
echo
echo "| while-read loop over 1000 lines, one call a line | µs a call | program / it | lines unlike the program's |"
echo "|---|---:|---:|---:|"
loop "urldecode program" 3 loop_program encoded
loop_prog_us=$last
[ -z "$builtins" ] || { loop "urldecode builtin" 5 loop_builtin encoded10; builtin_us=$last; }
[ -z "$python" ] || loop "python3 -c unquote_plus" 1 loop_python encoded
loop "printf '%b' \"\${s//%/\\\\x}\"" 5 loop_idiom encoded10
idiom_us=$last

# The result into a variable, as scripts mostly want it: a command
# substitution forks even for a builtin, which -v does without. Each loop
# prints the variable, as the base loop does with the line itself.
var_none() { while IFS= read -r l; do x=$l; printf '%s' "$x"; printf '\036\n'; done; }
var_program() { while IFS= read -r l; do x=$("$urldecode" "$l"); printf '%s' "$x"; printf '\036\n'; done; }
var_subst() { while IFS= read -r l; do x=$(urldecode "$l"); printf '%s' "$x"; printf '\036\n'; done; }
var_setvar() { while IFS= read -r l; do urldecode -v x "$l"; printf '%s' "$x"; printf '\036\n'; done; }
var_idiom() { while IFS= read -r l; do l=${l//+/ }; printf -v x '%b' "${l//%/\\x}"; printf '%s' "$x"; printf '\036\n'; done; }
if [ -n "$builtins" ]; then
	echo
	echo "| result into a variable, 1000 lines | µs a call | program / it | lines unlike the program's |"
	echo "|---|---:|---:|---:|"
	loop 'x=$(urldecode "$s"), program' 3 var_program encoded var_none
	var_prog_us=$last
	loop 'x=$(urldecode "$s"), builtin' 3 var_subst encoded var_none
	loop 'urldecode -v x "$s"' 5 var_setvar encoded10 var_none
	setvar_us=$last
	loop "printf -v x '%b' \"\${s//%/\\\\x}\"" 5 var_idiom encoded10 var_none
	setvar_idiom_us=$last
fi

# A form of ten fields, each value one of the lines, into an associative
# array: split in the shell, then each half decoded with -v, against one
# call of -A. Both must give the same array.
awk '{ l[NR] = $0 } END { for (i = 1; i <= NR; i++) { q = ""
	for (f = 0; f < 10; f++) q = q (f ? "&" : "") "k" f "=" l[(i + f - 1) % NR + 1]
	print q } }' "$dir/encoded" >"$dir/queries"
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
if [ -n "$builtins" ]; then
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

# Targets: start-up within 15% of the C program; at most 30 instructions
# a byte above printing the argument; twice the argument, at most twice
# the work beyond start-up (within 10%); in a loop, the builtin a
# hundredth of the program's cost a call or less, and no dearer than the
# printf idiom, which gets bytes wrong.
echo
check "urldecode start-up / C program" "$(ratio "$start" "$print_short")" 1.15
check "urldecode -b -e: instructions a byte above it" \
	"$(awk -v u="$big" -v p="$print_long" 'BEGIN { printf "%.1f", (u - p) / 131071 }')" 30
check "urldecode work, 131071 / 65535 bytes" "$(ratio $((big - start)) $((small - start)))" 2.2
if [ -n "$builtins" ]; then
	check "loop: program / builtin, a call" "$(ratio "$loop_prog_us" "$builtin_us")" 100 least
	check "loop: builtin / printf '%b' idiom, a call" "$(ratio "$builtin_us" "$idiom_us")" 1.00
	check "variable: \$(program) / urldecode -v, a call" "$(ratio "$var_prog_us" "$setvar_us")" 100 least
	check "variable: urldecode -v / printf -v idiom, a call" "$(ratio "$setvar_us" "$setvar_idiom_us")" 1.00
	check "query: shell loop / urldecode -A, a query" "$(ratio "$query_us" "$assoc_us")" 3 least
fi
exit $missed
