#!/bin/bash
# A form's fields, from the query string of a GET or the body of a POST,
# listed back as plain text, one "key=value" a line in the order of their
# bytes. Copy it into a web server's cgi-bin and make it executable; it
# loads the urldecode builtin from bash's loadables folder, where the
# shelltools package installs it, or from BASH_LOADABLES_PATH.
#
# The fields go straight from the request into an associative array: no
# process, no subshell, and no byte of them is ever run or evaluated. The
# answer is text/plain: to echo a field into HTML, escape it first.

# The largest POST body taken, in bytes: a larger one is refused before a
# byte of it is read, since the body is held in memory, several times over.
max=1048576

# read -n counts characters in a UTF-8 locale, but CONTENT_LENGTH counts
# bytes; in the C locale the two are the same.
export LC_ALL=C

fail() {		# fail STATUS TEXT
	printf 'Status: %s\r\nContent-Type: text/plain\r\n\r\n%s\n' "$1" "$2"
	exit 0
}

enable -f urldecode urldecode 2>/dev/null || fail "500 Internal Server Error" "no urldecode builtin"

declare -A field
case ${REQUEST_METHOD-} in
GET | HEAD)
	urldecode -A field "${QUERY_STRING-}"
	;;
POST)
	# Decimal, even with leading zeros, and too short to overflow.
	[[ ${CONTENT_LENGTH:-0} =~ ^0*([0-9]{1,18})$ ]] || fail "400 Bad Request" "bad Content-Length"
	length=$((10#${BASH_REMATCH[1]}))
	((length <= max)) || fail "413 Content Too Large" "over $max bytes"
	# Exactly length bytes: read -N would skip a NUL byte without counting
	# it and read on past the body, so each read ends at a NUL, which counts.
	body= left=$length
	while ((left > 0)) && IFS= read -r -d '' -n "$left" part; do
		body+=$part
		((left -= ${#part} + (${#part} < left)))
	done
	((left == 0)) || fail "400 Bad Request" "body shorter than Content-Length"
	urldecode -A field "$body"
	;;
*)
	fail "405 Method Not Allowed" "GET or POST only"
	;;
esac

printf 'Content-Type: text/plain; charset=utf-8\r\n\r\n'
printf '%s, %d fields\n' "$REQUEST_METHOD" "${#field[@]}"
# An associative array's subscript is the key's bytes, never arithmetic.
((${#field[@]} == 0)) ||
	while IFS= read -r -d '' key; do
		printf '%s=%s\n' "$key" "${field[$key]}"
	done < <(printf '%s\0' "${!field[@]}" | sort -z)
