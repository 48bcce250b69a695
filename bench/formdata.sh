#!/usr/bin/env bash
# A 1 MB POST body into an array: urlencoded, by formdata and by read -N
# with urldecode -A -s (whose read skips a NUL byte, which formdata
# refuses); and application/json, by formdata and by read -N with
# jsonparse -A. Each call must succeed, and each pair give the same array.
#   bash bench/formdata.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
[ -n "$builtins" ] || { echo "the bash builtins are not built (no bash headers)"; exit 0; }
enable -f shelltools formdata urldecode jsonparse
awk '{ l[NR] = $0 } END { for (i = 1; i <= NR; i++) { q = ""
	for (f = 0; f < 10; f++) q = q (f ? "&" : "") "k" f "=" l[(i + f - 1) % NR + 1]
	print q } }' "$dir/encoded" >"$dir/queries"
# formdata reads an urlencoded body strictly, so the lines' malformed
# escapes and %00 are written as a client would send their bytes.
for _ in {1..20}; do cat "$dir/queries"; done | perl -pe 's/%(?![0-9A-Fa-f]{2})/%25/g; s/%00/%2500/g' |
	tr '\n' '&' >"$dir/posts"
# At most 1 MiB of it, cut after a whole field, so that no escape is cut
# short and every call reads the body and succeeds.
head -c 1048576 "$dir/posts" | sed 's/&[^&]*$//' >"$dir/post"
size=$(wc -c <"$dir/post")
# A JSON body of about 1 MB: records with strings, numbers, booleans and
# null, made the same on every machine.
awk 'BEGIN { printf "{\"items\":[" } { printf "%s{\"id\":%d,\"name\":\"line %d\",\"text\":\"%s\",\"ok\":%s,\"score\":%d.%02d,\"tags\":[\"a\",\"b\"],\"next\":null}", (NR > 1 ? "," : ""), NR, NR, $0, NR % 2 ? "true" : "false", NR % 100, NR % 97 }
	END { printf "]}" }' "$dir/encoded" "$dir/encoded" "$dir/encoded" "$dir/encoded" "$dir/encoded" "$dir/encoded" >"$dir/post.json"
jsize=$(wc -c <"$dir/post.json")
# Each way fails the benchmark where a call fails: a refusal is quick,
# and would be timed as if it were the work.
fails() { echo "bench: $1 failed" >&2; exit 1; }
post_formdata() { CONTENT_TYPE=application/x-www-form-urlencoded CONTENT_LENGTH=$size formdata -A h <"$dir/post" ||
	fails "formdata on the urlencoded body"; }
post_read() { local body LC_ALL=C; { IFS= read -r -d '' -N "$size" body; urldecode -A h -s "$body"; } <"$dir/post" ||
	fails "read -N and urldecode -A -s on the urlencoded body"; }
json_formdata() { CONTENT_TYPE=application/json CONTENT_LENGTH=$jsize formdata -A h -l 4000000 <"$dir/post.json" ||
	fails "formdata on the JSON body"; }
json_read() { local body LC_ALL=C; { IFS= read -r -d '' -N "$jsize" body; jsonparse -A h "$body"; } <"$dir/post.json" ||
	fails "read -N and jsonparse -A on the JSON body"; }
# Each pair gives the same array, checked once before either is timed.
declare -A h
digest() { local k; for k in "${!h[@]}"; do printf '%s=%s\0' "$k" "${h[$k]}"; done | sort -z | sha256sum; }
same() {		# same WAY OTHER: the two give the same array, of some fields
	local a
	h=(); "$1"; a=$(digest)
	[ ${#h[@]} -gt 0 ] || { echo "bench: $1 gave no field" >&2; exit 1; }
	h=(); "$2"
	[ "$(digest)" = "$a" ] || { echo "bench: $1 and $2 give other arrays" >&2; exit 1; }
}
same post_read post_formdata
same json_read json_formdata
read_ms=$(best 15 post_read) form_ms=$(best 15 post_formdata)
jread_ms=$(best 15 json_read) jform_ms=$(best 15 json_formdata)
echo "| a 1 MB POST body into an array | ms | read / it |"
echo "|---|---:|---:|"
printf '| %-34s | %8.1f | %5s |\n' "urlencoded: read -N, urldecode -A -s" "$read_ms" 1.00 "urlencoded: formdata -A" "$form_ms" "$(ratio "$read_ms" "$form_ms")"
printf '| %-34s | %8.1f | %5s |\n' "JSON: read -N, jsonparse -A" "$jread_ms" 1.00 "JSON: formdata -A" "$jform_ms" "$(ratio "$jread_ms" "$jform_ms")"

echo
check "POST: read -N and urldecode -A / formdata, 1 MB" "$(ratio "$read_ms" "$form_ms")" 5 least
check "JSON POST: read -N and jsonparse -A / formdata, 1 MB" "$(ratio "$jread_ms" "$jform_ms")" 1 least
exit $missed
