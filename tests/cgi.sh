#!/bin/bash
# A real CGI round trip: examples/form.cgi behind busybox httpd on
# 127.0.0.1, asked with curl and by Chromium submitting a real upload
# form, answers each request with a page of exactly the fields, files and
# cookies sent, and runs nothing that a key or value holds; in Chromium,
# hostile fields show as text and make no element. examples/hook.cgi
# answers a webhook's JSON body with its commits, and no body runs
# anything or holds it up. examples/webhook.cgi, behind busybox httpd and
# lighttpd, answers a signed GitHub body, and a 401 to every forgery.
# BUILTIN_PRELOAD is what bash must preload to run the builtins (a
# sanitizer's runtime).
#   cgi.sh BUILTIN-DIR FORM-CGI UPLOAD-PAGE HOOK-CGI WEBHOOK-CGI
set -u
dir=$1 form=$2 page=$3 hook=$4 webhook=$5
if [ ! -f "$dir/urldecode" ]; then
	echo "cgi: the bash builtins are not built: skipped"
	exit 77
fi
for tool in busybox curl chromium lighttpd; do
	command -v $tool >/dev/null || { echo "cgi: no $tool, which CI installs" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'kill $server ${lighttpd-} 2>/dev/null; rm -rf "$tmp"' EXIT
mkdir "$tmp/cgi-bin"
cp "$form" "$tmp/cgi-bin/form.cgi"
cp "$hook" "$tmp/cgi-bin/hook.cgi"
cp "$webhook" "$tmp/cgi-bin/webhook.cgi"
sed 's/WEBHOOK_SCHEME:-github/WEBHOOK_SCHEME:-slack/' "$webhook" >"$tmp/cgi-bin/slack.cgi"
chmod +x "$tmp/cgi-bin/slack.cgi"
# The webhook's secret, a NUL byte in it, and the line feed that ends the
# file, which is no part of it.
printf 's3\0cret\n' >"$tmp/key"
export WEBHOOK_KEY=$tmp/key

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
# The page as lines of text: its heading, "key=value" for each field and
# cookie, "file key=filename, N bytes, sha256 S" for each file, and "N
# cookies" where there are some, with the entities read back.
text() {
	# A browser writes the attribute as readonly="".
	perl -0pe 's{<h2>0 cookies</h2>\n}{}; s{^.*?<h([12])>(.*?)</h\1>\n}{$2\n}mg;
		s{<li class="(?:field|cookie)">(.*?) <input readonly(?:="")? value="(.*?)"></li>\n}{$1=$2\n}gs;
		s{<li class="file">(.*?) <input readonly(?:="")? value="(.*?)"> (.*?)</li>\n}{file $1=$2, $3\n}gs;
		s{^<.*\n}{}mg; s{&lt;}{<}g; s{&gt;}{>}g; s{&quot;}{"}g; s{&#x27;}{\x27}g; s{&amp;}{&}g'
}
ask() {			# ask WANT CURL-ARGS...: the answer's page says WANT
	printf '%s' "$1" >"$tmp/want"
	shift
	curl -s --max-time 10 "$@" | text >"$tmp/got"
	cmp -s "$tmp/want" "$tmp/got" || { echo "cgi: curl $*:"; cat "$tmp/got"; fail=1; }
}
# Repeats (the last wins), '+', UTF-8, ';' as data; '%00' or '%zz' is a 400.
ask $'GET, 4 fields\na=2\nb=x y\ne=%z\nu=caf\xc3\xa9;x\n' \
	"$url?a=1&b=x+y&&a=2&e=%25z&u=caf%C3%A9;x"
for q in e=%00z e=%zz; do
	code=$(curl -s --max-time 10 -o /dev/null -w '%{http_code}' "$url?$q")
	[ "$code" = 400 ] || { echo "cgi: ?$q got $code, not 400"; fail=1; }
done
# A POST body of UTF-8 bytes, a newline, an empty key (left out), no '='.
ask $'POST, 3 fields\nc=\nk=1\n2\nu=caf\xc3\xa9 \n' \
	--data-binary $'u=caf\xc3\xa9+&k=1%0A2&=z&c' "$url"
# Hostile keys and values come back as text, and nothing runs.
ask $'GET, 3 fields\n$(touch b)=`touch c`\n]=\n==\nx[$(touch a)]=x[$(touch d)]\n' \
	"$url?x%5B%24%28touch+a%29%5D=x%5B%24%28touch+d%29%5D&%24%28touch+b%29=%60touch+c%60&%5D%3D%0A%3D"
ask $'POST, 1 fields\n`touch e`=$(touch f)\n' -d '%60touch+e%60=%24%28touch+f%29' "$url"
# No field at all, and nothing for the server's log; an empty POST.
ask $'GET, 0 fields\n' "$url?=x"
REQUEST_METHOD=POST CONTENT_LENGTH=0 BASH_LOADABLES_PATH=$dir LD_PRELOAD=${BUILTIN_PRELOAD-} \
	bash "$form" </dev/null | sed '1,/^\r$/d' | text | cmp -s - <(printf 'POST, 0 fields\n') ||
	{ echo "cgi: CONTENT_LENGTH=0 is not an empty form"; fail=1; }
# A POST passed on with no length (busybox's chunked one) is no empty form.
for how in "-H Transfer-Encoding:chunked --data-binary a=1" "-X POST"; do
	code=$(curl -s --max-time 10 -o /dev/null -w '%{http_code}' $how "$url")
	[ "$code" = 411 ] || { echo "cgi: curl $how got $code, not 411"; fail=1; }
done
# A cookie comes back as the page lists it, and one is set.
ask $'GET, 0 fields\n2 cookies\na=1\nb=x+y\n' -H 'Cookie: a=1; b="x+y"' "$url"
curl -s -D - -o /dev/null "$url" | grep -q $'^Set-Cookie: seen=GET; Path=/; HttpOnly; SameSite=Lax\r$' ||
	{ echo "cgi: no Set-Cookie"; fail=1; }

# A webhook's commits, walked by the count that the reader wrote: a count
# that is a string runs nothing, one that is a number loops not at all, a
# body of another type is a 415.
hook() {		# hook STATUS ANSWER TYPE BODY: hook.cgi answers so
	got=$(curl -s --max-time 10 -w '%{http_code}' -H "Content-Type: $3" --data-binary "$4" "${url%/*}/hook.cgi")
	[ "$got" = "$2"$'\n'"$1" ] || { echo "cgi: hook.cgi, $4: $got"; fail=1; }
}
hook 200 '{"count":2,"ids":["a1","b2"],"ref":"main"}' application/json \
	'{"ref":"main","commits":[{"id":"a1"},{"id":"b2"}]}'
hook 200 '{"count":0,"ids":[],"ref":""}' application/json '{"commits":"x[$(touch g)]"}'
hook 200 '{"count":0,"ids":[],"ref":""}' application/json '{"commits":99999999999}'
hook 415 '{"error":"a JSON body, please"}' application/x-www-form-urlencoded '{"commits":[]}'
hook 400 '{"error":"byte offset 15: a name equal to another under case folding, \"ADMIN\""}' \
	application/json '{"admin":false,"ADMIN":true}'

# A reason that quotes the client's bytes, cut in a character: the answer
# is JSON all the same, from either receiver.
deep=$(for _ in $(seq 1001); do printf '{"\xc3\xa9":'; done)
for c in hook.cgi webhook.cgi; do
	got=$(curl -s --max-time 10 -w '\n%{http_code}' -H "Content-Type: application/json" --data-binary "$deep" "${url%/*}/$c")
	printf '%s' "${got%$'\n'*}" | perl -MJSON::PP -e 'local $/; decode_json(<STDIN>)' 2>/dev/null &&
		[[ ${got##*$'\n'} == 40[01] ]] || { echo "cgi: $c, 1001 objects deep: $got"; fail=1; }
done

# A signed GitHub body, and each forgery a 401: a signature by another
# key, none, one for another body, a wildcard, upper-case hex; Slack's
# stale timestamp. Behind busybox httpd, and behind lighttpd, which
# passes the environment that its configuration sets.
good='{"action":"opened","repository":{"full_name":"o/r"},"commits":[{"id":"a1"},{"id":"b2"}]}'
sig=8c3ab9f8597208fc384618a2c3e173caa2fa68029f1fff6a32dbc492d320eabf
webhooks() {		# webhooks BASE-URL
	local ok='{"action":"opened","count":2,"ids":["a1","b2"],"repository":"o/r"}'
	local wrong='{"error":"signature wrong: no key gives it over this body"}'
	local bad='{"error":"signature malformed: HTTP_X_HUB_SIGNATURE_256 is not sha256= and 64 lower-case hex digits"}'
	local -a cases=(
		"200|$ok|$good|sha256=$sig"
		"401|$wrong|$good|sha256=90bb925310df3bee9088f5b0c1d0b9c064ac418b30b7823e6917c9b4d867f710"
		"401|{\"error\":\"signature missing: no HTTP_X_HUB_SIGNATURE_256\"}|$good|"
		"401|$wrong|${good/opened/closed}|sha256=$sig"
		"401|$bad|$good|sha256=*"
		"401|$bad|$good|sha256=${sig^^}")
	local c code want body hdr got
	for c in "${cases[@]}"; do
		IFS='|' read -r code want body hdr <<<"$c"
		got=$(curl -s --max-time 10 -w '%{http_code}' -H "Content-Type: application/json" \
			${hdr:+-H "X-Hub-Signature-256: $hdr"} --data-binary "$body" "$1/webhook.cgi")
		[ "$got" = "$want"$'\n'"$code" ] || { echo "cgi: $1/webhook.cgi, $hdr: $got"; fail=1; }
	done
	got=$(curl -s --max-time 10 -w '%{http_code}' -H "Content-Type: application/json" \
		-H 'X-Slack-Request-Timestamp: 1531420618' \
		-H 'X-Slack-Signature: v0=040e9ba42827ad62581565b9e33d307b23e3b2b4d982162bc42abab7cbd248bc' \
		--data-binary "$good" "$1/slack.cgi")
	[[ $got == '{"error":"timestamp stale: '*' seconds in the past, past the 300 allowed"}'$'\n401' ]] ||
		{ echo "cgi: $1/slack.cgi: $got"; fail=1; }
}
webhooks "${url%/*}"
for _ in $(seq 20); do
	lport=$((20000 + RANDOM % 40000))
	cat >"$tmp/lighttpd.conf" <<EOF
server.document-root = "$tmp"
server.bind = "127.0.0.1"
server.port = $lport
server.errorlog = "$tmp/lighttpd.log"
server.modules = ("mod_cgi", "mod_setenv")
cgi.assign = (".cgi" => "")
setenv.add-environment = ("WEBHOOK_KEY" => "$tmp/key", "BASH_LOADABLES_PATH" => "$dir",
	"LD_PRELOAD" => "${BUILTIN_PRELOAD-}", "PATH" => "$PATH")
EOF
	lighttpd -D -f "$tmp/lighttpd.conf" 2>>"$tmp/lighttpd.log" &
	lighttpd=$!
	for _ in $(seq 50); do
		curl -s --max-time 2 -o /dev/null "http://127.0.0.1:$lport/" && break
		kill -0 $lighttpd 2>/dev/null || break
		sleep 0.1
	done
	kill -0 $lighttpd 2>/dev/null && break
	lighttpd=
done
if [ -n "$lighttpd" ]; then
	webhooks "http://127.0.0.1:$lport/cgi-bin"
else
	echo "cgi: lighttpd did not start:"; cat "$tmp/lighttpd.log"; fail=1
fi

# Chromium sends the page's form as multipart/form-data, and tee.cgi keeps
# the answer that it gets. The page's bytes, and what form.cgi must make
# of them: the last of a repeated name, a browser's %22 for a quote.
cp "$page" "$tmp/upload.html"
printf '#!/bin/bash\n"%s/cgi-bin/form.cgi" | tee "%s/answer"\n' "$tmp" "$tmp" >"$tmp/cgi-bin/tee.cgi"
chmod +x "$tmp/cgi-bin/tee.cgi"
sum() { printf "$1" | sha256sum | cut -d' ' -f1; }
urlencode_() { perl -e 'print map { sprintf "%%%02X", ord } split //, $ARGV[0]' "$1"; }
printf -v all '\\x%02x' {0..255}
head=$'Content-Type: text/html; charset=utf-8\r\nSet-Cookie: seen=POST; Path=/; HttpOnly; SameSite=Lax\r\n\r\n'
want=$'POST, 8 fields\n$(touch b)=`touch c`\n'
want+=$'a%22b=\';touch e;\'\nbin=all.bin\ncrlf=one\r\ntwo\nmany=two.txt\nnone=\nu=caf\xc3\xa9\n'
want+="x[\$(touch a)]=x[\$(touch d)]
file bin=all.bin, 284 bytes, sha256 $(sum "$all\r\n------WebKitFormBoundary\r\n")
file many=one.txt, 3 bytes, sha256 $(sum one)
file many=two.txt, 12 bytes, sha256 $(sum '$(touch f)\r\n')
1 cookies
c=x+y=
"
dom=$(timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
	--disable-background-networking --disable-component-update --disable-sync \
	--user-data-dir="$tmp/chromium" --virtual-time-budget=10000 --dump-dom \
	"http://127.0.0.1:$port/upload.html" 2>/dev/null)
printf '%s' "$want" >"$tmp/want"
head -c ${#head} "$tmp/answer" | cmp -s - <(printf '%s' "$head") ||
	{ echo "cgi: Chromium's upload got the header:"; head -n 3 "$tmp/answer"; fail=1; }
tail -c +$((${#head} + 1)) "$tmp/answer" | text >"$tmp/got"
cmp -s "$tmp/want" "$tmp/got" || { echo "cgi: Chromium's upload got:"; cat "$tmp/got"; fail=1; }
# What the browser shows is that answer, less the CRs that HTML drops.
[ "$(printf '%s\n' "$dom" | text)" = "$(printf '%s' "${want//$'\r'/}")" ] ||
	{ echo "cgi: Chromium shows: $dom"; fail=1; }

# Fields that would be markup, in text and in an attribute, are text in
# the page that Chromium makes of the answer: the title stays, no element
# comes of them, and each value reads back as it was sent.
hostile=("<img src=x onerror=document.title='PWNED'>" "x\" autofocus onfocus=document.title='PWNED2' x=\""
	"</title><script>document.title='PWNED3'</script>" "' onmouseover='document.title=1")
query= want=$'GET, 4 fields\n'
for i in "${!hostile[@]}"; do
	query+="&$i=$(urlencode_ "${hostile[i]}")"
	want+="$i=${hostile[i]}"$'\n'
done
dom=$(timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
	--disable-background-networking --disable-component-update --disable-sync \
	--user-data-dir="$tmp/chromium2" --virtual-time-budget=5000 --dump-dom "$url?$query" 2>/dev/null)
[[ $dom == *"<title>form.cgi</title>"* ]] || { echo "cgi: the title changed: $dom"; fail=1; }
# A browser writes an attribute that it made as name="value".
[[ $dom != *"<img"* && $dom != *"<script"* && $dom != *'autofocus=""'* && $dom != *'onfocus="'* &&
	$dom != *'onmouseover="'* ]] ||
	{ echo "cgi: a field made an element: $dom"; fail=1; }
[ "$(printf '%s\n' "$dom" | text)" = "${want%$'\n'}" ] ||
	{ echo "cgi: Chromium shows the hostile fields as: $dom"; fail=1; }
ran=$(find "$tmp" -name '[a-g]')
[ -z "$ran" ] || { echo "cgi: a request ran commands: $ran"; fail=1; }
# What the scripts said on standard error, the hook's refusals, goes to
# the server's log: nothing else may.
grep -v '\(hook\|slack\).cgi: line [0-9]*: formdata: ' "$tmp/log" >"$tmp/other"
[ ! -s "$tmp/other" ] || { echo "cgi: the server logged:"; cat "$tmp/other"; fail=1; }
[ $fail = 0 ] && echo "cgi: ok"
exit $fail
