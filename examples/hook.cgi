#!/bin/bash
# A webhook receiver: a JSON body, as a code host posts one on each push,
# read into arrays and answered in JSON with the commits' ids. Copy it
# into a web server's cgi-bin and make it executable; it loads the
# builtins as form.cgi does.
#
# The body's values are data and nothing else: a count comes from the
# array that the reader alone fills, with integers, never from a value of
# the body, which bash would evaluate in arithmetic.
export LC_ALL=C

# A reason is quoted with -- before it, and answered as a fixed text where
# it cannot be quoted, so that the answer is JSON whatever the body held.
answer() {		# answer STATUS JSON
	printf 'Status: %s\r\nContent-Type: application/json\r\n\r\n%s\n' "$1" "$2"
	exit 0
}

enable -f shelltools formdata jsonquote 2>/dev/null ||
	answer "500 Internal Server Error" '{"error":"no shelltools builtins"}'
[[ ${REQUEST_METHOD-} == POST ]] || answer "405 Method Not Allowed" '{"error":"POST only"}'
[[ -n ${CONTENT_LENGTH-} ]] || answer "411 Length Required" '{"error":"a POST needs a Content-Length"}'

# JSON alone, strictly: I-JSON's numbers, and no two names that a reader
# matching them by case folding would take as one.
declare -A j n
formdata -b json -s -A j -C n -t 30 -E why -g /ref -g '/commits/~/id'	# only what the answer takes
case $? in
0) ;;
3) answer "415 Unsupported Media Type" '{"error":"a JSON body, please"}' ;;
*) jsonquote -v why -- "$why" || why='"refused"'; answer "400 Bad Request" "{\"error\":$why}" ;;
esac

# At most as many commits as the array holds members.
ids=()
for ((i = 0; i < ${n[/commits]:-0}; i++)); do
	[[ -v j[/commits/$i/id] ]] && ids+=("${j[/commits/$i/id]}")
done
declare -A out=([/ref]=${j[/ref]-}) types=([/ids]=array [/count]=number)
out[/count]=${#ids[@]}
for i in "${!ids[@]}"; do
	out[/ids/$i]=${ids[i]}
done
jsonquote -v body -A out -T types
answer "200 OK" "$body"
