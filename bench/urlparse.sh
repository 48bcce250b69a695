#!/usr/bin/env bash
# urlparse: start-up and the work of a URL with every part, against a C
# program, python3 and node; then 1000 URLs into an associative array, by
# -A and by the usual split with RFC 3986's regular expression.
#   bash bench/urlparse.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
split='import sys, urllib.parse; sys.stdout.write(urllib.parse.urlsplit(sys.argv[1]).geturl())'
href='process.stdout.write(new URL(process.argv[1]).href)'

table
url=https://example.org/
case_ "urlparse, '$url'"
row "C program printing its argument" /dev/null "$dir/print" "$url"
print_url=$base
row "urlparse" /dev/null "$dir/bin/urlparse" "$url"
url_start=$last
[ -z "$python" ] || row "python3 urllib.parse.urlsplit" /dev/null "$python" -c "$split" "$url"
[ -z "$node" ] || row "node new URL" /dev/null "$node" -e "$href" "$url"
url='https://user@Example.org:8080/a/../b?q=1#f'
case_ "urlparse, '$url'"
row "C program printing its argument" /dev/null "$dir/print" "$url"
row "urlparse" /dev/null "$dir/bin/urlparse" "$url"
[ -z "$python" ] || row "python3 urllib.parse.urlsplit" /dev/null "$python" -c "$split" "$url"
[ -z "$node" ] || row "node new URL" /dev/null "$node" -e "$href" "$url"

# The regular expression gets the host of some wrong: the userinfo and the
# port stay in it, and its case.
awk '{ printf "https://u%d@Host%d.example:%d/p/%d/../q?k=%d#f%d\n", NR, NR % 97, 8000 + NR % 1000, NR, NR, NR }' \
	"$dir/encoded" >"$dir/urls"
for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$dir/urls"; done >"$dir/urls10"
url_none() { local l; while IFS= read -r l; do :; done; }
url_regex() {
	local l re='^(([^:/?#]+):)?(//([^/?#]*))?([^?#]*)(\?([^#]*))?(#(.*))?'
	local -A u
	while IFS= read -r l; do
		[[ $l =~ $re ]]
		u=([protocol]=${BASH_REMATCH[2]} [host]=${BASH_REMATCH[4]} [pathname]=${BASH_REMATCH[5]}
			[search]=${BASH_REMATCH[7]} [hash]=${BASH_REMATCH[9]})
	done
}
url_builtin() { local -A u; local l; while IFS= read -r l; do urlparse -A u "$l"; done; }
if [ -n "$builtins" ]; then
	enable -f shelltools urlparse
	echo
	echo "| a URL into an associative array, 1000 URLs | µs a URL | regex / it |"
	echo "|---|---:|---:|"
	regex_us=$(awk -v t="$(usecs 5 url_regex urls10)" -v e="$(usecs 5 url_none urls10)" 'BEGIN { printf "%.1f", t - e }')
	urlparse_us=$(awk -v t="$(usecs 5 url_builtin urls10)" -v e="$(usecs 5 url_none urls10)" 'BEGIN { printf "%.1f", t - e }')
	printf '| %-34s | %9s | %7s |\n' "[[ \$l =~ \$re ]], BASH_REMATCH" "$regex_us" 1.00
	printf '| %-34s | %9s | %7s |\n' "urlparse -A u \"\$l\"" "$urlparse_us" "$(ratio "$regex_us" "$urlparse_us")"
fi

echo
check "urlparse start-up / C program" "$(ratio "$url_start" "$print_url")" 1.15
[ -z "$builtins" ] || check "URL: regex split / urlparse -A, a URL" "$(ratio "$regex_us" "$urlparse_us")" 1 least
exit $missed
