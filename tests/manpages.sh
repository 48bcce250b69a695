#!/bin/sh
# The man pages lint clean and render.
#   manpages.sh PAGE...
set -eu
for page; do
	mandoc -T lint -W warning "$page"
	if command -v man >/dev/null 2>&1; then
		out=$(MANWIDTH=80 man -l "$page" 2>&1)
		case $out in
		*"can't"* | *warning*) echo "$page: $out" >&2; exit 1 ;;
		*NAME*SYNOPSIS*DESCRIPTION*"EXIT STATUS"*EXAMPLES*"SEE ALSO"*) ;;
		*) echo "$page: sections missing" >&2; exit 1 ;;
		esac
	fi
done
echo "man pages: ok"
