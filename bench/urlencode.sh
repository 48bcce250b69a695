#!/usr/bin/env bash
# urlencode: start-up against a C program and python3; then 1000 lines
# encoded into a variable by the program, the builtin, jq's @uri, the
# usual pure-bash loop and python3.
#   bash bench/urlencode.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
peer jq jq
quote='import os, sys, urllib.parse; sys.stdout.write(urllib.parse.quote_plus(os.fsencode(sys.argv[-1]), safe=""))'

table
case_ "urlencode, short argument 'café au lait'"
row "C program printing its argument" /dev/null "$dir/print" $'caf\xc3\xa9 au lait'
print_enc=$base
row "urlencode" /dev/null "$urlencode" $'caf\xc3\xa9 au lait'
enc_start=$last
[ -z "$python" ] || row "python3 urllib.parse.quote_plus" /dev/null "$python" -c "$quote" $'caf\xc3\xa9 au lait'

# The pure-bash loop is right only in the C locale, where a character is
# a byte.
var_none() { while IFS= read -r l; do x=$l; printf '%s' "$x"; printf '\036\n'; done; }
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
if [ -n "$builtins" ]; then
	enable -f shelltools urlencode
	enc_setvar_r <"$dir/encoded" >"$dir/enc_setvar_r.out"
	echo
	echo "| encoded into a variable, 1000 lines | µs a call | program / it | lines unlike the program's |"
	echo "|---|---:|---:|---:|"
	loop 'x=$(urlencode "$s"), program' 3 enc_program encoded var_none
	enc_prog_us=$last
	loop 'urlencode -v x "$s"' 5 enc_setvar encoded10 var_none
	enc_setvar_us=$last
	if command -v jq >/dev/null; then
		ref=$dir/enc_setvar_r.out loop 'x=$(jq -rR @uri <<<"$s"), against -r' 3 enc_jq encoded var_none
	fi
	loop "pure bash, printf '%%%02X' a byte" 3 enc_bash encoded var_none
	enc_bash_us=$last
	[ -z "$python" ] || loop 'x=$(python3 -c quote_plus)' 1 enc_python encoded var_none
fi

echo
check "urlencode start-up / C program" "$(ratio "$enc_start" "$print_enc")" 1.15
if [ -n "$builtins" ]; then
	check "encode: \$(program) / urlencode -v, a call" "$(ratio "$enc_prog_us" "$enc_setvar_us")" 100 least
	check "encode: pure bash loop / urlencode -v, a call" "$(ratio "$enc_bash_us" "$enc_setvar_us")" 20 least
fi
exit $missed
