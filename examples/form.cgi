#!/bin/bash
# A form's whole request answered as an HTML page: the fields, in the order
# of their keys' bytes, from the query string of a GET or the body of a
# POST, URL-encoded or multipart/form-data; each uploaded file's size and
# sha256; and the cookies. It sets a cookie, to show how. Copy it into a
# web server's cgi-bin and make it executable; it loads the builtins from
# bash's loadables folder, where the shelltools package installs them, or
# from BASH_LOADABLES_PATH.
#
# The fields go straight from the request into associative arrays, and
# every byte of them reaches the page through htmlescape: none is ever
# run, evaluated or read as markup.

# The largest POST body taken, in bytes: a larger one is refused before a
# byte of it is read.
max=1048576
export LC_ALL=C

fail() {		# fail STATUS TEXT
	printf 'Status: %s\r\nContent-Type: text/plain\r\n\r\n%s\n' "$1" "$2"
	exit 0
}

list() {		# list CLASS ARRAY: a line of the page for each key and value
	local -n a=$2
	local key k v
	# An associative array's subscript is the key's bytes, never arithmetic.
	((${#a[@]} == 0)) ||
		while IFS= read -r -d '' key; do
			htmlescape -v k -- "$key"
			htmlescape -v v -- "${a[$key]}"
			# In text and in a quoted attribute, where escaped bytes are safe.
			printf '<li class="%s">%s <input readonly value="%s"></li>\n' "$1" "$k" "$v"
		done < <(printf '%s\0' "${!a[@]}" | sort -z)
}

# One object holds every builtin, so one enable loads those that the
# script uses, at the cost of one.
enable -f shelltools urldecode formdata htmlescape setcookie 2>/dev/null ||
	fail "500 Internal Server Error" "no shelltools builtins"

declare -A field cookie
files=()
case ${REQUEST_METHOD-} in
GET | HEAD)
	# As a front end reads it: '%zz' or '%00' is an error, not a byte that
	# a filter before the script never saw.
	urldecode -A field -s -- "${QUERY_STRING-}" 2>/dev/null ||
		fail "400 Bad Request" "a malformed query string"
	;;
POST)
	# The uploads, in a folder of their own that goes when the script does.
	tmp=$(mktemp -d) || fail "500 Internal Server Error" "no folder for the files"
	trap 'rm -rf "$tmp"' EXIT
	# RFC 3875 has the server set CONTENT_LENGTH whenever there is a body,
	# but a server may pass a body on unmeasured (busybox httpd does a
	# chunked one), and then the script cannot tell it from none at all:
	# such a POST is refused, never taken for an empty form. (busybox
	# passes no CONTENT_LENGTH for "Content-Length: 0" either.) A body of
	# length 0, whatever its type says, is an empty form.
	[[ -n ${CONTENT_LENGTH-} ]] || fail "411 Length Required" "a POST needs a Content-Length"
	[[ $CONTENT_LENGTH =~ ^0+$ ]] ||
		formdata -b multipart,urlencoded -A field -F files -d "$tmp" -l "$max" -t 30 -E why 2>/dev/null || {
			case $?,$why in
			3,*) fail "415 Unsupported Media Type" "$why" ;;
			*"over the limit"*) fail "413 Content Too Large" "over $max bytes" ;;
			*) fail "400 Bad Request" "$why" ;;
			esac
		}
	;;
*)
	fail "405 Method Not Allowed" "GET or POST only"
	;;
esac
urldecode -C cookie -- "${HTTP_COOKIE-}"
setcookie -v set -p / -h -S Lax -- seen "$REQUEST_METHOD"

printf 'Content-Type: text/html; charset=utf-8\r\n%s\r\n\r\n' "$set"
printf '<!doctype html>\n<html lang="en">\n<meta charset="utf-8">\n<title>form.cgi</title>\n'
printf '<h1>%s, %d fields</h1>\n<ul>\n' "$REQUEST_METHOD" "${#field[@]}"
list field field
for ((i = 0; i < ${#files[@]}; i += 3)); do
	read -r sum _ < <(sha256sum "${files[i + 2]}")
	htmlescape -v k -- "${files[i]}"
	htmlescape -v v -- "${files[i + 1]}"
	printf '<li class="file">%s <input readonly value="%s"> %d bytes, sha256 %s</li>\n' "$k" "$v" \
		"$(wc -c <"${files[i + 2]}")" "$sum"
done
printf '</ul>\n<h2>%d cookies</h2>\n<ul>\n' "${#cookie[@]}"
list cookie cookie
printf '</ul>\n'
