#!/bin/sh
# Makes fold.inc, Unicode's simple case folding (the C and S lines of
# CaseFolding.txt, as Debian's unicode-data ships it) as runs: from, to,
# the step between code points, and what each one's folding adds.
#   sh json/fold.sh /usr/share/unicode/CaseFolding.txt > json/fold.inc
set -eu
awk -F '; ' '
/^#/ && NR == 1 { version = $0; sub(/^# /, "", version) }
/^[0-9A-F]/ && ($2 == "C" || $2 == "S") {
	c = hex($1); t = hex($3)
	if (n > 0 && t - c == add && (c - last == step || (count == 1 && c - last <= 2))) {
		if (count == 1) step = c - last
		last = c; count++; next
	}
	if (n > 0) out()
	first = c; last = c; add = t - c; step = 1; count = 1; n++
}
function hex(s,    v, i) {
	v = 0
	for (i = 1; i <= length(s); i++)
		v = v * 16 + index("0123456789ABCDEF", substr(s, i, 1)) - 1
	return v
}
function out() { runs[++nruns] = sprintf("{0x%X, 0x%X, %d, %d}", first, last, step, add) }
END {
	out()
	printf "// Made by fold.sh from %s: do not edit.\n", version
	printf "// Runs of code points whose simple case folding adds the same amount,\n"
	printf "// each from, to, step and amount, in order.\n"
	for (i = 1; i <= nruns; i++)
		printf "%s%s", runs[i], i == nruns ? "\n" : (i % 4 == 0 ? ",\n" : ", ")
}' "$1"
