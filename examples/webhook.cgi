#!/bin/bash
# A GitHub webhook receiver: the body's signature checked over its exact
# bytes before any of it is read into the script, its fields read, its
# commits walked by their count, and an answer built by jsonquote -A.
# Copy it into a web server's cgi-bin and make it executable, with the
# webhook's secret in a file that only the server's user reads; the
# server's configuration, never the request, may name another file, or
# another sender's scheme (WEBHOOK_KEY, WEBHOOK_SCHEME).
#
# The secret is never a word of a command, where ps would show it; the
# signature is compared by formdata in constant time, never by [[ == ]],
# whose right side is a pattern; nothing of the body is trusted before
# formdata's status is 0.
export LC_ALL=C

# A reason is quoted with -- before it, and answered as a fixed text where
# it cannot be quoted, so that the answer is JSON whatever the body held.
# A request whose signature does not hold learns that alone.
answer() {		# answer STATUS JSON
	printf 'Status: %s\r\nContent-Type: application/json\r\n\r\n%s\n' "$1" "$2"
	exit 0
}

enable -f shelltools formdata jsonquote 2>/dev/null ||
	answer "500 Internal Server Error" '{"error":"no shelltools builtins"}'
[[ ${REQUEST_METHOD-} == POST ]] || answer "405 Method Not Allowed" '{"error":"POST only"}'
[[ -n ${CONTENT_LENGTH-} ]] || answer "411 Length Required" '{"error":"a POST needs a Content-Length"}'

declare -A j n
# Only the values that the answer takes are kept, the whole body still read
# and checked: a push of thousands of commits costs the shell its ids alone.
formdata -b json -s -A j -C n -t 30 -E why -g /action -g /repository/full_name -g '/commits/~/id' \
	-S "${WEBHOOK_SCHEME:-github}" -f "${WEBHOOK_KEY:-/etc/webhook/secret}"
case $? in
0) ;;
4) jsonquote -v why -- "$why" || why='"unsigned"'; answer "401 Unauthorized" "{\"error\":$why}" ;;
3) answer "415 Unsupported Media Type" '{"error":"a JSON body, please"}' ;;
*) jsonquote -v why -- "$why" || why='"refused"'; answer "400 Bad Request" "{\"error\":$why}" ;;
esac

# The commits, as many as the array that the reader filled holds; their
# ids into the answer, which jsonquote builds from an array as jsonparse
# reads one.
declare -A out=([/action]=${j[/action]-} [/repository]=${j[/repository/full_name]-})
declare -A types=([/ids]=array [/count]=number)
k=0
for ((i = 0; i < ${n[/commits]:-0}; i++)); do
	[[ -v j[/commits/$i/id] ]] && out[/ids/$((k++))]=${j[/commits/$i/id]}
done
out[/count]=$k
jsonquote -v body -A out -T types
answer "200 OK" "$body"
