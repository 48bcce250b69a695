#!/bin/bash
# The paths most asked for in a web server's access log (the combined
# format), and how many answers of each status it gave, with the
# builtins' line modes: each request's target read as the server read it
# (urlparse -r, on the site's origin), its path decoded (urldecode -l),
# in one pass each over the whole log, whatever it holds.
#   top-paths.sh LOG [ORIGIN [COUNT]]
# A target that is none of a request's forms, or a "-" request line, is
# counted apart, never under another path; nothing of the log is ever
# evaluated.
set -euo pipefail
export LC_ALL=C
log=$1 origin=${2:-http://localhost/} most=${3:-10}
enable -f shelltools urlparse urldecode

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Each request's target and its status, line for line; a "-" request
# line has no target, and its status stands where the target would.
awk -v t="$tmp/targets" -v s="$tmp/statuses" \
	'$6 == "\"-\"" { print "-" > t; print $7 > s; next } { print $7 > t; print $9 > s }' "$log"

# A refused target gives an empty line, which stays in its place; the
# messages are counted, not shown.
urlparse -l -r -b "$origin" -g pathname < "$tmp/targets" > "$tmp/paths" 2>/dev/null || true
urldecode -l -k -p < "$tmp/paths" > "$tmp/decoded" 2>/dev/null || true

echo "paths:"
awk '$0 == "" { $0 = "(no path)" } { print }' "$tmp/decoded" | sort | uniq -c | sort -k1,1nr -k2 | head -n "$most"
echo "statuses:"
sort "$tmp/statuses" | uniq -c | sort -k1,1nr -k2
