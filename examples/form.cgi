#!/bin/bash
# A form's whole request listed back as plain text: the fields, one
# "key=value" a line in the order of their bytes, from the query string of
# a GET or the body of a POST, URL-encoded or multipart/form-data; then
# each uploaded file's size and sha256; then the cookies. Copy it into a
# web server's cgi-bin and make it executable; it loads the builtins from
# bash's loadables folder, where the shelltools package installs them, or
# from BASH_LOADABLES_PATH.
#
# The fields go straight from the request into associative arrays: no
# byte of them is ever run or evaluated. The answer is text/plain: to echo
# a field into HTML, escape it first.

# The largest POST body taken, in bytes: a larger one is refused before a
# byte of it is read.
max=1048576

# read -n counts characters in a UTF-8 locale, but CONTENT_LENGTH counts
# bytes; in the C locale the two are the same.
export LC_ALL=C

fail() {		# fail STATUS TEXT
	printf 'Status: %s\r\nContent-Type: text/plain\r\n\r\n%s\n' "$1" "$2"
	exit 0
}

list() {		# list ARRAY: its keys and values, in the order of the keys' bytes
	local -n a=$1
	local key
	# An associative array's subscript is the key's bytes, never arithmetic.
	((${#a[@]} == 0)) ||
		while IFS= read -r -d '' key; do
			printf '%s=%s\n' "$key" "${a[$key]}"
		done < <(printf '%s\0' "${!a[@]}" | sort -z)
}

for b in urldecode formdata; do
	enable -f $b $b 2>/dev/null || fail "500 Internal Server Error" "no $b builtin"
done

declare -A field cookie
files=()
case ${REQUEST_METHOD-} in
GET | HEAD)
	urldecode -A field "${QUERY_STRING-}"
	;;
POST)
	[ -n "${CONTENT_LENGTH-}" ] || fail "411 Length Required" "no Content-Length"
	# Decimal, even with leading zeros, and too short to overflow.
	[[ $CONTENT_LENGTH =~ ^0*([0-9]{1,18})$ ]] || fail "400 Bad Request" "bad Content-Length"
	length=$((10#${BASH_REMATCH[1]}))
	((length <= max)) || fail "413 Content Too Large" "over $max bytes"
	type=${CONTENT_TYPE-}
	type=${type%%;*}
	type=${type//[[:space:]]/}
	case ${type,,} in
	application/x-www-form-urlencoded)
		# Exactly length bytes: read -N would skip a NUL byte without
		# counting it and read on past the body, so each read ends at a
		# NUL, which counts.
		body= left=$length
		while ((left > 0)) && IFS= read -r -d '' -n "$left" part; do
			body+=$part
			((left -= ${#part} + (${#part} < left)))
		done
		((left == 0)) || fail "400 Bad Request" "body shorter than Content-Length"
		urldecode -A field "$body"
		;;
	multipart/form-data)
		# The uploads, in a folder of their own that goes when the script does.
		tmp=$(mktemp -d) || fail "500 Internal Server Error" "no folder for the files"
		trap 'rm -rf "$tmp"' EXIT
		formdata -A field -F files -d "$tmp" -l "$max" 2>"$tmp/error" || {
			error=$(<"$tmp/error")
			fail "400 Bad Request" "${error#*formdata: }"
		}
		;;
	*)
		fail "415 Unsupported Media Type" "a form's fields only"
		;;
	esac
	;;
*)
	fail "405 Method Not Allowed" "GET or POST only"
	;;
esac
urldecode -C cookie "${HTTP_COOKIE-}"

printf 'Content-Type: text/plain; charset=utf-8\r\n\r\n'
printf '%s, %d fields\n' "$REQUEST_METHOD" "${#field[@]}"
list field
for ((i = 0; i < ${#files[@]}; i += 3)); do
	read -r sum _ < <(sha256sum "${files[i + 2]}")
	printf 'file %s=%s, %d bytes, sha256 %s\n' "${files[i]}" "${files[i + 1]}" \
		"$(wc -c <"${files[i + 2]}")" "$sum"
done
((${#cookie[@]} == 0)) || printf '%d cookies\n' "${#cookie[@]}"
list cookie
