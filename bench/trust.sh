#!/usr/bin/env bash
# Trusting a request: a whole signed webhook request, bash starting to the
# answer written, against bash running ':' and against the same script
# with read -N, openssl and jq (callgrind, children traced); SHA-256 of
# 100 MB from a pipe by the CPU's instructions and by the portable code,
# against openssl and sha256sum; HMAC-SHA256 of 64 bytes into a variable
# by the builtin, against $(openssl dgst); each program's start against
# the C floor. Each timed run must succeed and give the same digest.
#   bash bench/trust.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
peer openssl openssl
peer jq jq
[ -n "$builtins" ] || { echo "the bash builtins are not built (no bash headers)"; exit 0; }
c++ -O3 -std=c++17 -Itrust -o "$dir/sha" bench/sha.cc trust/sha.cc trust/native.cc trust/mac.cc trust/base.cc
fails() { echo "bench: $1 failed" >&2; exit 1; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# A GitHub push of some 10 KB, its secret in a file, its signature.
work=$(cd "$dir" && pwd)/trust
rm -rf "$work"
mkdir -p "$work"
printf 'It5-sh4red-s3cret\n' >"$work/key"
{
	printf '{"ref":"refs/heads/main","before":"%040d","after":"%040d","repository":{"id":1,"full_name":"o/r","private":false,' 0 1
	printf '"owner":{"login":"o","id":2},"html_url":"https://example.com/o/r","description":"%s"},' "$(printf 'x%.0s' {1..2000})"
	printf '"pusher":{"name":"ann","email":"ann@example.com"},"sender":{"login":"ann","id":3},"commits":['
	for i in {0..19}; do
		printf '%s{"id":"%040d","message":"change %d %s","author":{"name":"ann","email":"ann@example.com"},"added":[],"removed":[],"modified":["src/%d.c"]}' \
			"$([ $i = 0 ] || echo ,)" $i $i "$(printf 'y%.0s' {1..250})" $i
	done
	printf '],"head_commit":{"id":"%040d"},"compare":"https://example.com/c","created":false,"deleted":false,"forced":false}' 19
} >"$work/body"
sig=$(openssl dgst -sha256 -hmac "$(head -n 1 "$work/key")" -r <"$work/body") && sig=sha256=${sig%% *}
cat >"$work/ours.cgi" <<SCRIPT
enable -f shelltools formdata jsonquote || exit
declare -A j n out types=([/commits]=number [/private]=boolean)
formdata -b json -A j -C n -S github -f "$work/key" || exit
for p in /ref /before /after /repository/full_name /repository/html_url /pusher/name /pusher/email /sender/login \\
	/head_commit/id /compare /repository/owner/login; do out[\$p]=\${j[\$p]}; done
out[/commits]=\${n[/commits]}
out[/private]=\${j[/repository/private]}
for ((i = 0; i < \${n[/commits]} && i < 7; i++)); do out[/ids/\$i]=\${j[/commits/\$i/id]}; done
jsonquote -v body -A out -T types
printf 'Content-Type: application/json\r\n\r\n%s\n' "\$body"
SCRIPT
cat >"$work/peer.cgi" <<SCRIPT
LC_ALL=C read -r -N "\$CONTENT_LENGTH" body
key=\$(head -n 1 "$work/key")
mac=\$(printf %s "\$body" | openssl dgst -sha256 -hmac "\$key" -r) || exit
[[ "sha256=\${mac%% *}" == "\$HTTP_X_HUB_SIGNATURE_256" ]] || exit
body=\$(printf %s "\$body" | jq -c '{ref, before, after, repository: .repository.full_name, url: .repository.html_url,
	pusher: .pusher.name, email: .pusher.email, sender: .sender.login, head: .head_commit.id, compare,
	owner: .repository.owner.login, private: .repository.private, commits: (.commits | length),
	ids: [.commits[:7][] | .id]}') || exit
printf 'Content-Type: application/json\r\n\r\n%s\n' "\$body"
SCRIPT
request() {		# request SCRIPT: the answer
	CONTENT_TYPE=application/json CONTENT_LENGTH=$(wc -c <"$work/body") HTTP_X_HUB_SIGNATURE_256=$sig \
		bash "$work/$1" <"$work/body"
}
[[ $(request ours.cgi) == *'"commits":20'*'"ref":"refs/heads/main"'* ]] || fails "the request through formdata -S"
[[ $(request peer.cgi) == *'"ref":"refs/heads/main"'*'"commits":20'* ]] || fails "the request through openssl and jq"
# Every process's instructions, bash's forks and what they run included.
traced() {		# traced ARGS...: all instructions of bash ARGS, as a request
	CONTENT_TYPE=application/json CONTENT_LENGTH=$(wc -c <"$work/body") HTTP_X_HUB_SIGNATURE_256=$sig \
		valgrind --tool=callgrind --trace-children=yes --callgrind-out-file=/dev/null bash "$@" <"$work/body" 2>&1 >/dev/null |
		sed -n 's/.*Collected : //p' | awk '{ n += $1 } END { print n }'
}
echo "| a signed 10 KB GitHub push, start to answer | instructions | it / bash -c : |"
echo "|---|---:|---:|"
colon=$(traced -c :)
ours=$(traced "$work/ours.cgi")
theirs=$(traced "$work/peer.cgi")
# A Discord interaction, signed with Ed25519 over its timestamp and body
# by a key that openssl makes, checked by formdata -S discord: the first
# check of a request, libsodium opened.
openssl genpkey -algorithm ed25519 -out "$work/discord.pem" 2>/dev/null || fails "openssl genpkey"
openssl pkey -in "$work/discord.pem" -pubout -outform DER 2>/dev/null | tail -c 32 | od -An -tx1 | tr -d ' \n' >"$work/discord.pk"
printf '{"type":1,"id":"1","application_id":"2","token":"t","version":1}' >"$work/ping"
now=$(date +%s)
{ printf %s "$now"; cat "$work/ping"; } >"$work/signed"
dsig=$(openssl pkeyutl -sign -inkey "$work/discord.pem" -rawin -in "$work/signed" | od -An -tx1 | tr -d ' \n') ||
	fails "openssl pkeyutl -sign"
cat >"$work/discord.cgi" <<SCRIPT
enable -f shelltools formdata jsonquote || exit
declare -A j
formdata -b json -A j -S discord -f "$work/discord.pk" || exit
printf 'Content-Type: application/json\r\n\r\n{"type":1}\n'
SCRIPT
discord() {
	CONTENT_TYPE=application/json CONTENT_LENGTH=$(wc -c <"$work/ping") HTTP_X_SIGNATURE_ED25519=$dsig \
		HTTP_X_SIGNATURE_TIMESTAMP=$now "$@" <"$work/ping"
}
[[ $(discord bash "$work/discord.cgi") == *'{"type":1}'* ]] || fails "the interaction through formdata -S discord"
interaction=$(discord valgrind --tool=callgrind --trace-children=yes --callgrind-out-file=/dev/null bash "$work/discord.cgi" 2>&1 \
	>/dev/null | sed -n 's/.*Collected : //p' | awk '{ n += $1 } END { print n }')
printf '| %-44s | %13s | %6s |\n' "bash -c :" "$colon" 1.00 "formdata -S github, 20 fields, jsonquote -A" "$ours" \
	"$(ratio "$ours" "$colon")" "read -N, openssl dgst -hmac, jq" "$theirs" "$(ratio "$theirs" "$colon")" \
	"formdata -S discord, a ping, Ed25519" "$interaction" "$(ratio "$interaction" "$colon")"

# SHA-256 of 100 MB from a pipe, the best of three.
head -c 104857600 /dev/urandom >"$work/100mb"
want=$(sha256sum <"$work/100mb") && want=${want%% *}
digest() {		# digest LABEL CMD...: its best time, its digest checked
	local b= t e out
	for _ in 1 2 3; do
		t=$EPOCHREALTIME
		out=$(cat "$work/100mb" | "${@:2}") || fails "$1"
		e=$EPOCHREALTIME
		[[ $out == *"$want"* ]] || fails "$1: another digest"
		b=$(least "$b" "$(secs "$t" "$e")")
	done
	printf '| %-40s | %6s | %6s |\n' "$1" "$b" "$(ratio "$b" "${base_s:-$b}")"
	last=$b
}
has_ext=no
grep -qw sha_ni /proc/cpuinfo && has_ext=yes
echo
echo "| SHA-256 of 100 MB from a pipe (SHA extensions: $has_ext) | s | it / hmac |"
echo "|---|---:|---:|"
base_s=
digest "hmac (the CPU's instructions, if any)" "$dir/bin/hmac"
base_s=$last native=$last
digest "the portable code" "$dir/sha" portable
portable=$last
digest "openssl dgst -sha256" openssl dgst -sha256 -r
openssl_s=$last
digest "sha256sum" sha256sum
sum_s=$last

# The portable SHA-256 in instructions a byte: callgrind offers no SHA
# extensions, so hmac takes the code that CPUs without them run.
head -c 2097152 "$work/100mb" >"$work/2mb"
mac=$("$dir/bin/hmac" -a sha256 -K "$work/key" <"$work/2mb") || fails "hmac of 2 MB"
theirs_2mb=$(openssl dgst -sha256 -hmac "$(head -n 1 "$work/key")" -r <"$work/2mb") || fails "openssl dgst of 2 MB"
[ "$mac" = "${theirs_2mb%% *}" ] || fails "hmac of 2 MB: another digest"
sha_ir=$(instructions "$work/2mb" "$dir/bin/hmac" -a sha256 -K "$work/key")
[ -n "$sha_ir" ] || fails "hmac of 2 MB under callgrind"
sha_byte=$(awk -v n="$sha_ir" 'BEGIN { printf "%.1f", n / 2097152 }')
echo
echo "| HMAC-SHA256 of 2 MB, portable code (callgrind) | instructions | a byte |"
echo "|---|---:|---:|"
printf '| %-44s | %12s | %6s |\n' "hmac -a sha256" "$sha_ir" "$sha_byte"

# HMAC-SHA256 of 64 bytes into a variable.
enable -f shelltools hmac
key=$(head -n 1 "$work/key")
msg=$(printf 'm%.0s' {1..64})
hmac -v mine -k key "$msg"
theirs_mac=$(printf %s "$msg" | openssl dgst -sha256 -hmac "$key" -r) && theirs_mac=${theirs_mac%% *}
[ "$mine" = "$theirs_mac" ] || fails "hmac -v against openssl"
calls() {		# calls N FUNCTION: µs a call, the best of three
	local b= t e
	for _ in 1 2 3; do t=$EPOCHREALTIME; "$2" "$1"; e=$EPOCHREALTIME
		b=$(least "$b" "$(awk -v a="$t" -v b="$e" -v n="$1" 'BEGIN { print (b - a) * 1e6 / n }')"); done
	echo "$b"
}
by_builtin() { for ((i = 0; i < $1; i++)); do hmac -v m -k key "$msg"; done; }
by_openssl() { for ((i = 0; i < $1; i++)); do m=$(printf %s "$msg" | openssl dgst -sha256 -hmac "$key" -r); done; }
b_us=$(calls 10000 by_builtin)
o_us=$(calls 100 by_openssl)
echo
echo "| HMAC-SHA256 of 64 bytes into a variable | µs a call | it / builtin |"
echo "|---|---:|---:|"
printf '| %-36s | %9.2f | %8s |\n' "hmac -v m -k key" "$b_us" 1.00 'm=$(openssl dgst -sha256 -hmac)' "$o_us" "$(ratio "$o_us" "$b_us")"

# Each program's start and run on a small input, against the C floor.
printf '0123456789abcdef0123456789abcdef' >"$work/key32"
tok=$("$dir/bin/jwtoken" -s -a HS256 -K "$work/key32" '{"sub":"a"}') || fails "jwtoken -s"
echo
table
case_ "a program's start and one small input"
row "C: print its argument" /dev/null "$dir/print" abc
floor=$base
worst=0
for way in "hmac abc" "hmac -K $work/key abc" "b64 abc" "b64 -d YWJj" "randtoken" "jwtoken -a HS256 -K $work/key32 $tok"; do
	read -ra words <<<"$way"
	"$dir/bin/${words[0]}" "${words[@]:1}" >/dev/null || fails "$way"
	label=${way//$work\//}
	row "${label/$tok/TOKEN}" /dev/null "$dir/bin/${words[0]}" "${words[@]:1}"
	worst=$(awk -v a="$worst" -v b="$(ratio "$last" "$floor")" 'BEGIN { print (b > a ? b : a) }')
done

# An Ed25519 signature (RFC 8032's second test, of the message "r"): the program; the builtin's
# first call, which opens libsodium, and its later calls, in
# instructions less bash's own; and openssl pkeyutl, in time too.
pk=3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c
edsig=92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00
printf '%s\n' "$pk" >"$work/ed.pk"
"$dir/bin/sigverify" -a ed25519 -K "$work/ed.pk" -s "$edsig" -- r || fails "sigverify"
printf '302a300506032b6570032100%s' "$pk" | xxd -r -p >"$work/ed.der"
printf '%s' "$edsig" | xxd -r -p >"$work/ed.sig"
printf r >"$work/r"
by_pkeyutl() { openssl pkeyutl -verify -pubin -keyform DER -inkey "$work/ed.der" -rawin -in "$work/r" -sigfile "$work/ed.sig" >/dev/null; }
by_pkeyutl || fails "openssl pkeyutl -verify"
echo
table
case_ "an Ed25519 signature, RFC 8032's TEST 2"
row "C: print its argument" /dev/null "$dir/print" abc
row "sigverify -a ed25519" /dev/null "$dir/bin/sigverify" -a ed25519 -K "$work/ed.pk" -s "$edsig" -- r
row "openssl pkeyutl -verify" /dev/null openssl pkeyutl -verify -pubin -keyform DER -inkey "$work/ed.der" -rawin -in "$work/r" -sigfile "$work/ed.sig"
calls() {	# calls N: bash loading sigverify and checking N times
	bash -c "enable -f shelltools sigverify; pk=$pk; for ((i = 0; i < $1; i++)); do sigverify -a ed25519 -k pk -s $edsig -- r || exit 1; done"
}
calls 2 || fails "the sigverify builtin"
loaded=$(instructions /dev/null bash -c 'enable -f shelltools sigverify')
one=$(instructions /dev/null bash -c "enable -f shelltools sigverify; pk=$pk; sigverify -a ed25519 -k pk -s $edsig -- r")
hundred=$(instructions /dev/null bash -c "enable -f shelltools sigverify; pk=$pk; for ((i = 0; i < 101; i++)); do sigverify -a ed25519 -k pk -s $edsig -- r; done")
first=$((one - loaded)) later=$(((hundred - one) / 100))
echo
echo "| the sigverify builtin, Ed25519 | instructions | bash -c : / it |"
echo "|---|---:|---:|"
printf '| %-36s | %12s | %6s |\n' "the first call (libsodium opened)" "$first" "$(ratio "$colon" "$first")"
printf '| %-36s | %12s | %6s |\n' "each later call" "$later" "$(ratio "$colon" "$later")"
calls201() { calls 201; }
calls1() { calls 1; }
later_us=$(awk -v t="$(best 5 calls201)" -v u="$(best 5 calls1)" 'BEGIN { printf "%.1f", (t - u) * 1000 / 200 }')
openssl_ms=$(best 5 by_pkeyutl)
echo
echo "| an Ed25519 signature checked | µs |"
echo "|---|---:|"
printf '| %-36s | %9s |\n' "sigverify builtin, a later call" "$later_us"
printf '| %-36s | %9s |\n' "openssl pkeyutl -verify" "$(awk -v m="$openssl_ms" 'BEGIN { printf "%.1f", m * 1000 }')"

echo
check "a signed request / bash -c :" "$(ratio "$ours" "$colon")" 1.5
check "read -N, openssl and jq / formdata -S" "$(ratio "$theirs" "$ours")" 20 least
if [ $has_ext = yes ]; then
	check "SHA-256: hmac / openssl (SHA extensions)" "$(ratio "$native" "$openssl_s")" 1.2
fi
check "SHA-256: the portable code / sha256sum" "$(ratio "$portable" "$sum_s")" 1
check "SHA-256, portable: instructions a byte" "$sha_byte" 40
check "HMAC into a variable: \$(openssl) / the builtin" "$(ratio "$o_us" "$b_us")" 1000 least
check "a program's start / the C floor, the worst" "$worst" 1.15
check "sigverify's first call, libsodium opened / bash -c :" "$(ratio "$first" "$colon")" 1
check "sigverify builtin, µs a later call" "$later_us" 100
rm -rf "$work"
exit $missed
