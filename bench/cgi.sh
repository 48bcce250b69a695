#!/usr/bin/env bash
# A CGI request side by side with haserl, the tool that shell CGI authors
# use for it, and what each keeps of a hostile request.
#   bash bench/cgi.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
peer haserl haserl
# Each script is started as a web server starts one, with the
# request's variables and body, and prints two fields and the file's
# name; a request's time is the median of 31. Both delete the upload at
# the end: haserl by itself, bash with the rm builtin of Debian's
# bash-builtins, so that neither starts a process of its own for it.
cgi=$(cd "$dir" && pwd)/cgi
rm -rf "$cgi"
mkdir -p "$cgi/up"
haserl=$(command -v haserl || echo /usr/bin/haserl)
cat >"$cgi/haserl.cgi" <<EOF
#!$haserl --upload-limit=4096 --upload-dir=$cgi/up
content-type: text/plain

<% echo "\$FORM_k0 \$FORM_k9 \$FORM_f_name" %>
EOF
cat >"$cgi/bash.cgi" <<EOF
#!$BASH
declare -A f
files=()
# Each builtin loaded only where the request needs it.
if [ "\$REQUEST_METHOD" = POST ]; then
	enable -f formdata formdata && enable -f rm rm || exit
	formdata -A f -F files -d "$cgi/up" -l 4194304 || exit
else
	enable -f urldecode urldecode || exit
	urldecode -A f -s "\$QUERY_STRING" || exit
fi
printf 'content-type: text/plain\n\n%s %s %s\n' "\${f[k0]}" "\${f[k9]}" "\${f[f]}"
[ \${#files[@]} = 0 ] || rm -f "\${files[2]}"
EOF
# What each keeps of a hostile request, as the script sees it.
cat >"$cgi/haserl-kept.cgi" <<EOF
#!$haserl --upload-limit=4096 --upload-dir=$cgi/up
content-type: text/plain

<% env | grep -a '^FORM_' | sort %>
EOF
cat >"$cgi/bash-kept.cgi" <<EOF
#!$BASH
enable -f formdata formdata
formdata -a f -F files -d "$cgi/up"
printf '|%s' "\${f[@]}" '' "\${files[@]}"
EOF
chmod +x "$cgi"/*.cgi
# The requests: ten fields by GET; ten fields and a file of 1 MB by POST,
# as multipart/form-data; and one with hostile names, a repeated field,
# two files under one name and a file of no bytes.
query=$(for f in {0..9}; do printf 'k%d=value+%d%%21&' $f $f; done)
part() { printf -- '--BOUNDARY\r\nContent-Disposition: form-data; name="%s"%s\r\n\r\n' "$1" "${2:+; filename=\"$2\"}"; }
{
	for f in {0..9}; do part k$f; printf 'value %d!\r\n' $f; done
	part f big.bin; head -c 1048576 /dev/zero | tr '\0' x; printf '\r\n--BOUNDARY--\r\n'
} >"$cgi/post"
{
	part 'a[b]'; printf '1\r\n'; part 'n=m&o'; printf '2\r\n'; part '$(touch x)'; printf '3\r\n'
	part r; printf 'first\r\n'; part r; printf 'second\r\n'
	part f one.txt; printf 'one\r\n'; part f two.txt; printf 'two\r\n'
	part z zero.txt; printf '\r\n--BOUNDARY--\r\n'
} >"$cgi/hostile"
request() {		# request SCRIPT [BODY]: the answer, and its time in ms in $ms
	local t=$EPOCHREALTIME
	if [ -z "${2-}" ]; then
		REQUEST_METHOD=GET QUERY_STRING=$query "$cgi/$1" </dev/null
	else
		REQUEST_METHOD=POST CONTENT_TYPE='multipart/form-data; boundary=BOUNDARY' \
			CONTENT_LENGTH=$(wc -c <"$2") "$cgi/$1" <"$2"
	fi
	local e=$EPOCHREALTIME
	ms=$(awk -v a="$t" -v b="$e" 'BEGIN { print (b - a) * 1000 }')
}
median() {		# median SCRIPT [BODY]: ms a request
	local r runs=()
	for r in {1..31}; do
		request "$@" >/dev/null
		runs+=("$ms")
	done
	printf '%s\n' "${runs[@]}" | sort -g | sed -n 16p
}
if [ -n "$builtins" ] && command -v haserl >/dev/null; then
	export BASH_LOADABLES_PATH=${cgi%/cgi}/lib/bash:/usr/lib/bash
	echo "| a CGI request, median of 31 | haserl, ms | bash with the builtins, ms | haserl / bash |"
	echo "|---|---:|---:|---:|"
	for body in '' "$cgi/post"; do
		label="GET, 10 fields"
		[ -z "$body" ] || label="POST, 10 fields and a file of 1 MB"
		[ "$(request haserl.cgi $body)" = "$(request bash.cgi $body)" ] ||
			echo "bench: haserl and bash answer $label differently" >&2
		h=$(median haserl.cgi $body)
		b=$(median bash.cgi $body)
		printf '| %-34s | %6.2f | %6.2f | %5.2f |\n' "$label" "$h" "$b" "$(ratio "$h" "$b")"
		[ -n "$body" ] && post_ratio=$(ratio "$h" "$b") || get_ratio=$(ratio "$h" "$b")
	done
	(cd "$cgi" && request haserl-kept.cgi "$cgi/hostile" >haserl.kept && request bash-kept.cgi "$cgi/hostile" >bash.kept)
	keeps() {	# keeps WHAT HASERL-PATTERN BASH-PATTERN: grep -E patterns
		printf '| %-24s | %-5s | %-5s |\n' "$1" \
			"$(grep -Eq -- "$2" "$cgi/haserl.kept" && echo kept || echo lost)" \
			"$(grep -Eq -- "$3" "$cgi/bash.kept" && echo kept || echo lost)"
	}
	echo
	echo "| of one hostile request | haserl | bash with the builtins |"
	echo "|---|---|---|"
	# A variable FORM_n whose value is "m&o=2" is not the field 'n=m&o'.
	keeps "field 'a[b]'" '^FORM_a\[b\]=1$' '\|a\[b\]\|1\|'
	keeps "field 'n=m&o'" '^FORM_n=m&o=2$ is another field' '\|n=m&o\|2\|'
	keeps "field '\$(touch x)'" '^FORM_\$\(touch x\)=3$' '\|\$\(touch x\)\|3\|'
	keeps "both of a repeated field" 'FORM_r=first' '\|r\|first\|r\|second\|'
	keeps "two files under one name" 'FORM_f_name=one.txt' '\|f\|one.txt\|[^|]*\|f\|two.txt\|'
	keeps "a file of no bytes" 'FORM_z_name=zero.txt' '\|z\|zero.txt\|[^|]*$'
	[ ! -e "$cgi/x" ] || echo "bench: the hostile request ran a command" >&2
fi


echo
if [ -n "${get_ratio-}" ]; then
	check "CGI GET: haserl / bash with the builtins" "$get_ratio" 1 least
	check "CGI POST: haserl / bash with the builtins" "$post_ratio" 1 least
fi
exit $missed
