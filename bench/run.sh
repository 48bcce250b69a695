#!/usr/bin/env bash
# Measures urldecode and shares against the least a C program can do in
# their place, and against a user's usual alternatives, by instruction count
# (valgrind's callgrind: the same figure on a busy machine) and peak memory
# (/usr/bin/time). Prints one table and checks the targets; exits 1 if one
# is missed.
#   bash bench/run.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-bench}

for tool in valgrind /usr/bin/time cc cmake; do
	command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" -j >/dev/null
cc -O2 -o "$dir/print" bench/print.c
cc -O2 -o "$dir/scanf" bench/scanf.c
urldecode=$dir/bin/urldecode shares=$dir/bin/shares

# instructions INPUT CMD...: instructions that CMD runs, stdin from INPUT.
instructions() {
	local in=$1; shift
	valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" <"$in" 2>&1 >/dev/null |
		sed -n 's/.*Collected : //p'
}
# peak INPUT CMD...: peak resident memory in KiB, the least of three runs,
# since the figure moves a little from run to run.
peak() {
	local in=$1; shift
	for _ in 1 2 3; do
		/usr/bin/time -f %M -o "$dir/peak" "$@" <"$in" >/dev/null 2>&1 || true
		tail -n 1 "$dir/peak"
	done | sort -n | head -n 1
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

base=
row() {			# row LABEL INPUT CMD...; the first row of a case is its base
	local label=$1 in=$2; shift 2
	local n m
	n=$(instructions "$in" "$@")
	m=$(peak "$in" "$@")
	[ -n "$base" ] || base=$n
	printf '| %-34s | %13s | %6s | %9s |\n' "$label" "$n" "$(ratio "$n" "$base")" "$m"
	last=$n
}
case_() { base=; printf '| **%s** | | | |\n' "$1"; }

# The interpreter itself, not a wrapper script that would start it.
python=$(python3 -c 'import sys; print(sys.executable)' 2>/dev/null || true)
unquote='import sys, urllib.parse; sys.stdout.write(urllib.parse.unquote_plus(sys.argv[-1]))'
awk_shares='{ t = $1 + $2 + $3 + $4 + $5; printf "%4.2f %4.2f %4.2f %4.2f %4.2f %d", 100 * $1 / t, 100 * $2 / t, 100 * $3 / t, 100 * $4 / t, 100 * $5 / t, t }'

# The longest argument Linux passes, all metacharacters, and half of it.
meta='&;`'"'"'|*?-~<>^()[]{}$\'
long=$(printf '%s' "$(printf "$meta%.0s" $(seq 6554))" | head -c 131071)
half=${long:0:65535}
printf '3 1 0 0 4\n' >"$dir/five"

echo "| case and program | instructions | ratio | peak KiB |"
echo "|---|---:|---:|---:|"
case_ "urldecode, short argument '+%24HOME%3B+'"
row "C program printing its argument" /dev/null "$dir/print" '+%24HOME%3B+'
print_short=$base
row "urldecode -b -e" /dev/null "$urldecode" -b -e '+%24HOME%3B+'
start=$last
[ -z "$python" ] || row "python3 urllib.parse.unquote_plus" /dev/null "$python" -c "$unquote" '+%24HOME%3B+'
case_ "urldecode, 131071 metacharacters"
row "C program printing its argument" /dev/null "$dir/print" "$long"
print_long=$base
row "urldecode -b -e" /dev/null "$urldecode" -b -e "$long"
big=$last
[ -z "$python" ] || row "python3 urllib.parse.unquote_plus" /dev/null "$python" -c "$unquote" "$long"
case_ "urldecode, 65535 metacharacters"
row "C program printing its argument" /dev/null "$dir/print" "$half"
row "urldecode -b -e" /dev/null "$urldecode" -b -e "$half"
small=$last
case_ "shares, '3 1 0 0 4'"
row "C program with scanf and printf" "$dir/five" "$dir/scanf"
scanf_base=$base
row "shares" "$dir/five" "$shares"
shares_start=$last
row "awk one-liner" "$dir/five" awk "$awk_shares"

# Targets: start-up within 15% of the C programs; at most 30 instructions a
# byte above printing the argument; twice the argument, at most twice the
# work beyond start-up (within 10%).
ok=0
check() {		# check WHAT VALUE LIMIT
	local verdict=ok
	awk -v v="$2" -v l="$3" 'BEGIN { exit !(v <= l) }' || { verdict=MISSED; ok=1; }
	printf '%-50s %8s  (at most %s) %s\n' "$1" "$2" "$3" "$verdict"
}
echo
check "urldecode start-up / C program" "$(ratio "$start" "$print_short")" 1.15
check "urldecode -b -e: instructions a byte above it" \
	"$(awk -v u="$big" -v p="$print_long" 'BEGIN { printf "%.1f", (u - p) / 131071 }')" 30
check "urldecode work, 131071 / 65535 bytes" "$(ratio $((big - start)) $((small - start)))" 2.2
check "shares start-up / C program" "$(ratio "$shares_start" "$scanf_base")" 1.15
exit $ok
