#!/usr/bin/env bash
# httphead: start-up against a C program; a response's head of 20 fields
# into an associative array, by the builtin, by the usual while IFS=: read
# loop, and with a request to a local server each, by curl -D and the
# builtin against curl -w '%{header_json}' and jsonparse -A; and
# GitHub's Link value read by -t link, against the loop that splits it
# with bash's patterns.
#   bash bench/httphead.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
httphead=$dir/bin/httphead

# A head as GitHub's API sends one, in lower case as over HTTP/2, 20
# fields, a Link among them.
link='<https://api.github.com/repositories/1300192/issues?page=2>; rel="prev", <https://api.github.com/repositories/1300192/issues?page=4>; rel="next", <https://api.github.com/repositories/1300192/issues?page=515>; rel="last", <https://api.github.com/repositories/1300192/issues?page=1>; rel="first"'
fields=("server: GitHub.com" "date: Thu, 10 Dec 2026 09:30:00 GMT" "content-type: application/json; charset=utf-8"
	"cache-control: private, max-age=60, s-maxage=60" "vary: Accept, Authorization, Cookie, X-GitHub-OTP"
	'etag: W/"6e5b2f3c0a1d4e8f9b7c6d5e4f3a2b1c"' "x-oauth-scopes: repo" "x-accepted-oauth-scopes: repo"
	"github-authentication-token-expiration: 2027-01-01 00:00:00 UTC" "x-github-media-type: github.v3; format=json"
	"link: $link" "x-ratelimit-limit: 5000" "x-ratelimit-remaining: 4987" "x-ratelimit-reset: 1797926400"
	"x-ratelimit-used: 13" "x-ratelimit-resource: core" "access-control-allow-origin: *"
	"strict-transport-security: max-age=31536000; includeSubdomains; preload" "x-frame-options: deny"
	"x-github-request-id: C0DE:1234:5678AB:9ABCDE:6578F0A1")
{
	printf 'HTTP/2 200 \r\n'
	printf '%s\r\n' "${fields[@]}"
	printf '\r\n'
} >"$dir/head20"
for _ in $(seq 1000); do echo "$dir/head20"; done >"$dir/heads"

printf 'HTTP/1.1 204 No Content\r\n\r\n' >"$dir/head0"
table
case_ "httphead, 'HTTP/1.1 204 No Content'"
row "C program printing its argument" /dev/null "$dir/print" 204
print_head=$base
row "httphead" "$dir/head0" "$httphead"
head_start=$last
case_ "httphead, a 20-field head of 1 KB"
row "C program printing its argument" /dev/null "$dir/print" 200
row "httphead" "$dir/head20" "$httphead"
row "httphead -t link -g next" /dev/null "$httphead" -t link -g next -- "$link"

# The usual loop: names lower-cased, the CR and the blanks cut off, a
# repeated field's lines joined; the status from the first line.
head_none() { local f; while IFS= read -r f; do :; done; }
head_loop() {
	local f line name value
	while IFS= read -r f; do
		local -A h=()
		{
			IFS= read -r line
			line=${line%$'\r'}
			read -r _ h[:status] _ <<<"$line"
			while IFS= read -r line; do
				line=${line%$'\r'}
				[ -n "$line" ] || break
				IFS=: read -r name value <<<"$line"
				name=${name,,}
				value=${value#"${value%%[![:blank:]]*}"}
				h[$name]=${h[$name]+${h[$name]}, }$value
			done
		} <"$f"
	done
}
head_builtin() { local f; while IFS= read -r f; do local -A h; httphead -A h -- "$f"; done; }
# What bash's own array costs: 23 keys and values of the same bytes, from
# a query string, stored by another builtin.
query=$(printf 'k%d=%s&' {1..23} "$(printf '%040d' 0)")
head_query() { local f; while IFS= read -r f; do local -A h; urldecode -A h -- "$query"; done; }

# -t link by the builtin, and by the loop that a script writes: split at
# ", <", then the target and rel="..." by patterns.
for _ in $(seq 1000); do echo "$link"; done >"$dir/links"
link_loop() {
	local v part next
	while IFS= read -r v; do
		next=
		while [ -n "$v" ]; do
			part=${v%%, <*}
			[ "$part" = "$v" ] && v= || v=${v#*, <}
			[[ $part == *'rel="next"'* ]] || continue
			next=${part#<}
			next=${next%%>*}
		done
	done
}
link_builtin() { local v next; while IFS= read -r v; do httphead -v next -t link -g next -- "$v"; done; }

if [ -n "$builtins" ]; then
	enable -f shelltools httphead jsonparse urldecode
	# Each way gives the same fields before either is timed.
	declare -A h mine
	httphead -A mine -- "$dir/head20"
	[ "${mine[link]}" = "$link" ] && [ "${mine[:status]}" = 200 ] && [ "${#mine[@]}" = 23 ] ||
		{ echo "bench: httphead -A gave other fields" >&2; exit 1; }
	echo
	echo "| a 20-field head into an associative array, 1000 heads | µs a head | loop / it |"
	echo "|---|---:|---:|"
	loop_us=$(awk -v t="$(usecs 3 head_loop heads)" -v e="$(usecs 3 head_none heads)" 'BEGIN { printf "%.1f", t - e }')
	builtin_us=$(awk -v t="$(usecs 3 head_builtin heads)" -v e="$(usecs 3 head_none heads)" 'BEGIN { printf "%.1f", t - e }')
	printf '| %-34s | %9s | %7s |\n' "while IFS=: read, a line a field" "$loop_us" 1.00
	printf '| %-34s | %9s | %7s |\n' "httphead -A h FILE" "$builtin_us" "$(ratio "$loop_us" "$builtin_us")"
	query_us=$(awk -v t="$(usecs 3 head_query heads)" -v e="$(usecs 3 head_none heads)" 'BEGIN { printf "%.1f", t - e }')
	printf '| %-34s | %9s | %7s |\n' "urldecode -A h, 23 fields, no file" "$query_us" "$(ratio "$loop_us" "$query_us")"

	# The same in instructions, which the machine's syscalls (4 a head:
	# open, two reads, close) do not move: a call's, less a loop's of
	# nothing, in bash running 200.
	per() {
		local n z
		n=$(instructions /dev/null bash -c "enable -f shelltools httphead urldecode; declare -A h; q='$query'
			for ((i = 0; i < 200; i++)); do $1; done")
		z=$(instructions /dev/null bash -c "enable -f shelltools httphead urldecode; declare -A h; q='$query'
			for ((i = 0; i < 200; i++)); do :; done")
		echo $(((n - z) / 200))
	}
	head_ins=$(per "httphead -A h -- $dir/head20") query_ins=$(per 'urldecode -A h -- "$q"')
	echo
	echo "| a 20-field head into an associative array | instructions a call |"
	echo "|---|---:|"
	printf '| %-34s | %9s |\n' "httphead -A h FILE" "$head_ins"
	printf '| %-34s | %9s |\n' "urldecode -A h, 23 fields, no file" "$query_ins"

	echo
	echo "| GitHub's Link value, the next page, 1000 values | µs a value | loop / it |"
	echo "|---|---:|---:|"
	llink_us=$(awk -v t="$(usecs 3 link_loop links)" -v e="$(usecs 3 head_none links)" 'BEGIN { printf "%.1f", t - e }')
	blink_us=$(awk -v t="$(usecs 3 link_builtin links)" -v e="$(usecs 3 head_none links)" 'BEGIN { printf "%.1f", t - e }')
	printf '| %-34s | %9s | %7s |\n' "patterns: \${v%%, <*}, rel=\"next\"" "$llink_us" 1.00
	printf '| %-34s | %9s | %7s |\n' "httphead -v next -t link -g next" "$blink_us" "$(ratio "$llink_us" "$blink_us")"

	# With the request: a local server sends the head, and curl writes it
	# to a file for httphead, or as JSON for jsonparse.
	if [ -n "$python" ] && command -v curl >/dev/null; then
		cat >"$dir/server.py" <<'EOF'
import http.server, sys
head = open(sys.argv[2], "rb").read().split(b"\r\n")[1:-2]
class H(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *a):
        pass
    def do_GET(self):
        # The head's own Server and Date alone: none of the server's.
        self.send_response_only(200)
        for f in head:
            n, v = f.decode().split(": ", 1)
            self.send_header(n, v)
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"[]")
http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), H).serve_forever()
EOF
		port=$((20000 + RANDOM % 40000))
		"$python" "$dir/server.py" "$port" "$dir/head20" &
		server=$!
		trap 'kill $server 2>/dev/null' EXIT
		for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
		url=http://127.0.0.1:$port/
		with_head() { curl -sS -D "$dir/got" -o /dev/null -- "$url" && httphead -A h -- "$dir/got"; }
		with_json() { local j; j=$(curl -sS -o /dev/null -w '%{header_json}' -- "$url") && jsonparse -A h -- "$j"; }
		with_head && [ "${h[x-ratelimit-remaining]}" = 4987 ] || { echo "bench: curl -D and httphead failed" >&2; exit 1; }
		with_json && [ "${h[/x-ratelimit-remaining/0]}" = 4987 ] || { echo "bench: header_json and jsonparse failed" >&2; exit 1; }
		head_ms=$(best 20 with_head) json_ms=$(best 20 with_json)
		echo
		echo "| a request to a local server, its head into an array | ms a request | header_json / it |"
		echo "|---|---:|---:|"
		printf '| %-50s | %9s | %7s |\n' "curl -w '%{header_json}' | jsonparse -A" "$json_ms" 1.00
		printf '| %-50s | %9s | %7s |\n' "curl -D FILE; httphead -A h FILE" "$head_ms" "$(ratio "$json_ms" "$head_ms")"
	fi
fi

echo
check "httphead start-up / C program" "$(ratio "$head_start" "$print_head")" 1.15
if [ -n "$builtins" ]; then
	check "httphead -A, µs a 20-field head" "$builtin_us" 10
	check "head: while-read loop / httphead -A" "$(ratio "$loop_us" "$builtin_us")" 10 least
fi
exit $missed
