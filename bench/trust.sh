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
printf '| %-44s | %13s | %6s |\n' "bash -c :" "$colon" 1.00 "formdata -S github, 20 fields, jsonquote -A" "$ours" \
	"$(ratio "$ours" "$colon")" "read -N, openssl dgst -hmac, jq" "$theirs" "$(ratio "$theirs" "$colon")"

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

echo
check "a signed request / bash -c :" "$(ratio "$ours" "$colon")" 1.5
check "read -N, openssl and jq / formdata -S" "$(ratio "$theirs" "$ours")" 20 least
if [ $has_ext = yes ]; then
	check "SHA-256: hmac / openssl (SHA extensions)" "$(ratio "$native" "$openssl_s")" 1.2
fi
check "SHA-256: the portable code / sha256sum" "$(ratio "$portable" "$sum_s")" 1
check "HMAC into a variable: \$(openssl) / the builtin" "$(ratio "$o_us" "$b_us")" 1000 least
check "a program's start / the C floor, the worst" "$worst" 1.15
rm -rf "$work"
exit $missed
