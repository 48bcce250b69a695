#!/usr/bin/env bash
# shares: start-up against a C program with scanf and printf, and awk.
#   bash bench/shares.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
awk_shares='{ t = $1 + $2 + $3 + $4 + $5; printf "%4.2f %4.2f %4.2f %4.2f %4.2f %d", 100 * $1 / t, 100 * $2 / t, 100 * $3 / t, 100 * $4 / t, 100 * $5 / t, t }'
printf '3 1 0 0 4\n' >"$dir/five"

table
case_ "shares, '3 1 0 0 4'"
row "C program with scanf and printf" "$dir/five" "$dir/scanf"
scanf_base=$base
row "shares" "$dir/five" "$shares"
shares_start=$last
row "awk one-liner" "$dir/five" awk "$awk_shares"

echo
check "shares start-up / C program" "$(ratio "$shares_start" "$scanf_base")" 1.15
exit $missed
