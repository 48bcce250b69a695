#!/usr/bin/env bash
# Every table of the benchmark, one tool after another; each can be run
# alone (bash bench/urlparse.sh). Exits 1 if a target was missed.
#   bash bench/run.sh [build-dir]
cd "$(dirname "$0")/.."
status=0
for part in urldecode urlencode urlparse shares jsonparse httphead builtins answer formdata cgi lines trust; do
	echo
	echo "## $part"
	echo
	bash "bench/$part.sh" "$@" || status=1
done
exit $status
