#!/bin/bash
# A real CGI round trip: examples/form.cgi behind busybox httpd on
# 127.0.0.1, asked with curl, answers each request with exactly the fields
# sent, and runs nothing that a key or value holds. BUILTIN_PRELOAD is
# what bash must preload to run the builtins (a sanitizer's runtime).
#   cgi.sh BUILTIN-DIR FORM-CGI
set -u
dir=$1 form=$2
if [ ! -f "$dir/urldecode" ]; then
	echo "cgi: the bash builtins are not built: skipped"
	exit 77
fi
for tool in busybox curl; do
	command -v $tool >/dev/null || { echo "cgi: no $tool: skipped"; exit 77; }
done
tmp=$(mktemp -d)
trap 'kill $server 2>/dev/null; rm -rf "$tmp"' EXIT
mkdir "$tmp/cgi-bin"
cp "$form" "$tmp/cgi-bin/form.cgi"

# A free port: httpd ends at once on one that is taken. The CGI runs in a
# UTF-8 locale, where read -N would count characters.
url=
for _ in $(seq 20); do
	port=$((20000 + RANDOM % 40000))
	BASH_LOADABLES_PATH=$dir LC_ALL=C.UTF-8 LD_PRELOAD=${BUILTIN_PRELOAD-} \
		busybox httpd -f -p "127.0.0.1:$port" -h "$tmp" 2>"$tmp/log" &
	server=$!
	for _ in $(seq 50); do
		curl -s --max-time 2 -o /dev/null "http://127.0.0.1:$port/" && break
		kill -0 $server 2>/dev/null || break
		sleep 0.1
	done
	kill -0 $server 2>/dev/null && { url=http://127.0.0.1:$port/cgi-bin/form.cgi; break; }
done
[ -n "$url" ] || { echo "cgi: httpd did not start" >&2; exit 1; }

fail=0
ask() {			# ask WANT CURL-ARGS...: the answer's body is WANT
	printf '%s' "$1" >"$tmp/want"
	shift
	curl -s --max-time 10 -o "$tmp/got" "$@"
	cmp -s "$tmp/want" "$tmp/got" || { echo "cgi: curl $*:"; cat "$tmp/got"; fail=1; }
}
# Repeats (the last wins), '+', '%00' (ends that value), UTF-8, ';' as data.
ask $'GET, 4 fields\na=2\nb=x y\ne=\nu=caf\xc3\xa9;x\n' \
	"$url?a=1&b=x+y&&a=2&e=%00z&u=caf%C3%A9;x"
# A POST body of UTF-8 bytes, a newline, an empty key (left out), no '='.
ask $'POST, 3 fields\nc=\nk=1\n2\nu=caf\xc3\xa9 \n' \
	--data-binary $'u=caf\xc3\xa9+&k=1%0A2&=z&c' "$url"
# Hostile keys and values come back as text, and nothing runs.
ask $'GET, 3 fields\n$(touch b)=`touch c`\n]=\n==\nx[$(touch a)]=x[$(touch d)]\n' \
	"$url?x%5B%24%28touch+a%29%5D=x%5B%24%28touch+d%29%5D&%24%28touch+b%29=%60touch+c%60&%5D%3D%0A%3D"
ask $'POST, 1 fields\n`touch e`=$(touch f)\n' -d '%60touch+e%60=%24%28touch+f%29' "$url"
# No field at all, and nothing for the server's log.
ask $'GET, 0 fields\n' "$url?=x"
ran=$(find "$tmp" -name '[a-f]')
[ -z "$ran" ] || { echo "cgi: a request ran commands: $ran"; fail=1; }
[ ! -s "$tmp/log" ] || { echo "cgi: the server logged:"; cat "$tmp/log"; fail=1; }
[ $fail = 0 ] && echo "cgi: ok"
exit $fail
