#!/bin/sh
# The man pages lint clean and render.
#   manpages.sh PAGE...
set -eu
for page; do
	mandoc -T lint -W warning "$page"
	command -v man >/dev/null 2>&1 || continue
	# With no locale set, as on a new machine, in C and in UTF-8: groff
	# has no glyph in ASCII for most of what lies beyond it.
	for locale in '' C C.UTF-8; do
		out=$(env -i PATH="$PATH" ${locale:+LC_ALL=$locale} MANWIDTH=80 man -l "$page" 2>&1)
		case $out in
		*"can't"* | *warning*) echo "$page, LC_ALL=$locale: $out" >&2; exit 1 ;;
		*NAME*SYNOPSIS*DESCRIPTION*"EXIT STATUS"*EXAMPLES*"SEE ALSO"*) ;;
		*) echo "$page: sections missing" >&2; exit 1 ;;
		esac
	done
done
echo "man pages: ok"
