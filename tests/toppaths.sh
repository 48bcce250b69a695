#!/bin/bash
# examples/top-paths.sh on a generated access log gives the counts that a
# plain split of each target at '?' gives, line for line: where targets
# are plain, reading them as a server does changes no count.
#   toppaths.sh BUILTIN-DIR TOP-PATHS
set -euo pipefail
dir=$1 script=$2
if [ ! -f "$dir/urldecode" ]; then
	echo "top-paths: the bash builtins are not built: skipped"
	exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
awk 'BEGIN {
	srand(7)
	split("/ /index.html /api/v1/items /api/v1/users /static/app.js /login /a/b/c", paths, " ")
	split("200 200 200 301 404 500", codes, " ")
	for (i = 0; i < 5000; i++) {
		p = paths[int(rand() * 7) + 1]
		q = rand() < 0.4 ? "?id=" int(rand() * 50) : ""
		if (rand() < 0.02)
			printf "10.0.0.%d - - [10/Dec/2026:00:00:%02d +0000] \"-\" 400 0 \"-\" \"-\"\n", i % 250, i % 60
		else
			printf "10.0.0.%d - - [10/Dec/2026:00:00:%02d +0000] \"GET %s%s HTTP/1.1\" %s %d \"-\" \"curl\"\n",
				i % 250, i % 60, p, q, codes[int(rand() * 6) + 1], i
	}
}' >"$tmp/access.log"
BASH_LOADABLES_PATH=$dir LD_PRELOAD=${BUILTIN_PRELOAD-} bash "$script" "$tmp/access.log" http://example.org/ 10 >"$tmp/got"
{
	echo "paths:"
	awk '$6 == "\"-\"" { print "(no path)"; next } { split($7, a, "?"); print a[1] }' "$tmp/access.log" |
		LC_ALL=C sort | uniq -c | LC_ALL=C sort -k1,1nr -k2 | head -n 10
	echo "statuses:"
	awk '$6 == "\"-\"" { print $7; next } { print $9 }' "$tmp/access.log" | LC_ALL=C sort | uniq -c | LC_ALL=C sort -k1,1nr -k2
} >"$tmp/want"
diff "$tmp/want" "$tmp/got" || { echo "top-paths: counts unlike awk's" >&2; exit 1; }
echo "top-paths: $(wc -l <"$tmp/got") lines as awk counts them"
