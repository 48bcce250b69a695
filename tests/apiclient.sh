#!/bin/bash
# examples/api-client.sh against a local API of the test's own, python3's
# http.server: three pages of two items, a Link field in lower case as
# HTTP/2 servers send it, one 429 whose Retry-After is an HTTP-date, one
# 503 whose Retry-After is seconds, a spent rate limit, an ETag answered
# with a 304 on the second run, and a next page on another origin, which
# the client refuses.
#   apiclient.sh BUILTIN-DIR API-CLIENT
set -euo pipefail
dir=$1 client=$2
if [ ! -f "$dir/httphead" ]; then
	echo "api-client: the bash builtins are not built: skipped"
	exit 77
fi
for tool in python3 curl; do
	command -v $tool >/dev/null || { echo "api-client: no $tool, which the build depends on" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'kill $server 2>/dev/null; rm -rf "$tmp"' EXIT
cat >"$tmp/server.py" <<'EOF'
import email.utils, http.server, json, sys, time

# What each request was answered with, a line each: "PATH STATUS".
log = open(sys.argv[2], "a", buffering=1)
seen = {}

class API(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, fields, body=b""):
        log.write("%s %d\n" % (self.path, status))
        self.send_response(status)
        for name, value in fields:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        seen[self.path] = seen.get(self.path, 0) + 1
        page = {"/items?page=1": 1, "/items?page=2": 2, "/items?page=3": 3}.get(self.path)
        if self.path == "/elsewhere":
            return self.answer(200, [("link", '<http://127.0.0.2:1/items>; rel="next"')], b"[]")
        if page is None:
            return self.answer(404, [])
        if page == 1 and seen[self.path] == 1:
            at = email.utils.formatdate(time.time() + 2, usegmt=True)
            return self.answer(429, [("Retry-After", at)])
        if page == 3 and seen[self.path] == 1:
            return self.answer(503, [("Retry-After", "1")])
        if page == 1 and self.headers.get("If-None-Match") == '"p1"':
            return self.answer(304, [("ETag", '"p1"')])
        fields = [("Content-Type", "application/json")]
        if page == 1:
            fields.append(("ETag", '"p1"'))
        if page == 2:
            fields += [("x-ratelimit-remaining", "0"), ("x-ratelimit-reset", str(int(time.time()) + 1))]
        if page < 3:
            fields.append(("link", '</items?page=%d>; rel="next", </items?page=3>; rel="last"' % (page + 1)))
        items = [{"id": 2 * page - 1 + k, "name": "item $(touch x) %d;%d" % (page, k)} for k in range(2)]
        self.answer(200, fields, json.dumps(items).encode())

http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), API).serve_forever()
EOF

# A free port: the server ends at once on one that is taken.
base=
for _ in $(seq 20); do
	port=$((20000 + RANDOM % 40000))
	python3 "$tmp/server.py" "$port" "$tmp/log" 2>"$tmp/err" &
	server=$!
	for _ in $(seq 50); do
		curl -s --max-time 2 -o /dev/null "http://127.0.0.1:$port/" && break
		kill -0 $server 2>/dev/null || break
		sleep 0.1
	done
	kill -0 $server 2>/dev/null && { base=http://127.0.0.1:$port; break; }
done
[ -n "$base" ] || { echo "api-client: the server did not start" >&2; cat "$tmp/err" >&2; exit 1; }
: >"$tmp/log"

# curl, which the client runs, without the sanitizer's runtime that bash
# is given for the builtins (preloaded into curl, it can hang).
mkdir "$tmp/bin"
printf '#!/bin/sh\nunset LD_PRELOAD\nexec %s "$@"\n' "$(command -v curl)" >"$tmp/bin/curl"
chmod +x "$tmp/bin/curl"
export PATH="$tmp/bin:$PATH"
fail=0
mkdir "$tmp/cache"
want=$'1\titem $(touch x) 1;0\n2\titem $(touch x) 1;1\n3\titem $(touch x) 2;0\n4\titem $(touch x) 2;1\n5\titem $(touch x) 3;0\n6\titem $(touch x) 3;1'
run() {			# run NAME WANT-LOG URL...: the items, and what the server answered
	local name=$1 log=$2 got
	shift 2
	: >"$tmp/log"
	got=$(cd "$tmp" && BASH_LOADABLES_PATH=$dir LD_PRELOAD=${BUILTIN_PRELOAD-} bash "$client" "$@") ||
		{ echo "api-client: $name: status $?" >&2; fail=1; }
	[ "$got" = "$want" ] || { printf 'api-client: %s gave\n%s\n' "$name" "$got" >&2; fail=1; }
	[ "$(tr '\n' ' ' <"$tmp/log")" = "$log" ] ||
		{ echo "api-client: $name: the server answered $(tr '\n' ' ' <"$tmp/log"), not $log" >&2; fail=1; }
}
start=$SECONDS
run "the first run" "/items?page=1 429 /items?page=1 200 /items?page=2 200 /items?page=3 503 /items?page=3 200 " \
	"$base/items?page=1" "$tmp/cache"
# 2 s for the 429's date, one for the rate limit and one for the 503, at
# least: the date is read to the second.
[ $((SECONDS - start)) -ge 2 ] || { echo "api-client: the waits were not waited" >&2; fail=1; }
run "the second run" "/items?page=1 304 /items?page=2 200 /items?page=3 200 " "$base/items?page=1" "$tmp/cache"

want=
: >"$tmp/log"
if (cd "$tmp" && BASH_LOADABLES_PATH=$dir LD_PRELOAD=${BUILTIN_PRELOAD-} bash "$client" "$base/elsewhere") 2>"$tmp/msg"; then
	echo "api-client: a next page on another origin was followed" >&2
	fail=1
fi
grep -q "a next page on another origin" "$tmp/msg" || { echo "api-client: $(cat "$tmp/msg")" >&2; fail=1; }
[ ! -e "$tmp/x" ] || { echo "api-client: a value of a page ran" >&2; fail=1; }
[ $fail = 0 ] && echo "api-client: ok"
exit $fail
