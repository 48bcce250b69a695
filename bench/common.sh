# What every table of the benchmark shares, sourced by each: a release
# build in DIR (build-bench by default), the C programs that do the least
# in the tools' place, the peers that scripts use today (installed from
# Debian, as root, where they can be), and the ways of measuring:
# instructions (valgrind's callgrind, the same figure on a busy machine),
# peak memory (/usr/bin/time), and times of loops and requests.
#   source bench/common.sh [build-dir]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
dir=${1:-build-bench}

for tool in valgrind /usr/bin/time cc cmake; do
	command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" -j >/dev/null
cc -O2 -o "$dir/print" bench/print.c
cc -O2 -o "$dir/scanf" bench/scanf.c
urldecode=$dir/bin/urldecode urlencode=$dir/bin/urlencode shares=$dir/bin/shares
export BASH_LOADABLES_PATH=$PWD/$dir/lib/bash
builtins=
[ ! -f "$dir/lib/bash/shelltools" ] || builtins=$dir/lib/bash/shelltools

peer() {		# peer COMMAND PACKAGE: installed, as root, if missing
	command -v "$1" >/dev/null && return
	[ "$(id -u)" = 0 ] && command -v apt-get >/dev/null &&
		DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$2" >/dev/null 2>&1
	command -v "$1" >/dev/null || echo "bench: no $1 (Debian's $2): its rows are left out" >&2
}
# The interpreters themselves, not a wrapper script that would start them.
python=$(python3 -c 'import sys; print(sys.executable)' 2>/dev/null || true)
node=$(command -v node || true)

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
least() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
# ms START END: milliseconds between two of bash's $EPOCHREALTIME, each
# taken in the shell itself, as a command substitution forks first.
ms() { awk -v a="$1" -v b="$2" 'BEGIN { print (b - a) * 1000 }'; }

# The instruction table: a case, and a row for each way, the first its base.
table() { echo "| case and program | instructions | ratio | peak KiB |"; echo "|---|---:|---:|---:|"; }
base=
case_() { base=; printf '| **%s** | | | |\n' "$1"; }
row() {			# row LABEL INPUT CMD...
	local label=$1 in=$2; shift 2
	local n m
	n=$(instructions "$in" "$@")
	m=$(peak "$in" "$@")
	[ -n "$base" ] || base=$n
	printf '| %-34s | %13s | %6s | %9s |\n' "$label" "$n" "$(ratio "$n" "$base")" "$m"
	last=$n
}

# 1000 encoded lines, and the same ten times over, for the loops.
awk -f bench/lines.awk >"$dir/encoded"
for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$dir/encoded"; done >"$dir/encoded10"
# The loop a shell script runs, one call a line: what a call costs is the
# loop's time less that of the same loop calling nothing, the best of a
# few runs, as other work on the machine only ever adds time. Each result
# ends with a record separator of its own, since a decoded line may hold
# a newline.
loop_none() { while IFS= read -r l; do printf '\036\n'; done; }
usecs() {		# usecs RUNS LOOP LINES: the best time of the loop a line
	local best= t e
	for ((r = 0; r < $1; r++)); do
		t=$EPOCHREALTIME
		"$2" <"$dir/$3" >"$dir/$2.out" 2>/dev/null
		e=$EPOCHREALTIME
		t=$(awk -v a="$t" -v b="$e" -v n="$(wc -l <"$dir/$3")" 'BEGIN { print (b - a) * 1e6 / n }')
		best=$(least "$best" "$t")
	done
	echo "$best"
}
unlike() {		# unlike OUTPUT [REFERENCE]: lines that differ
	awk -v RS='\036\n' 'NR == FNR { want[FNR] = $0; next }
		FNR <= 1000 && ($0 "") != (want[FNR] "") { n++ } END { print n + 0 }' "${2:-$prog_out}" "$1"
}
loop() {		# loop LABEL RUNS LOOP LINES [BASE]: the first of a table is its base
	local us t= e= r
	# The loop and its base in turn, so that a slow spell of the machine
	# falls on both alike.
	for ((r = 0; r < $2; r++)); do
		t=$(least "$t" "$(usecs 1 "$3" "$4")")
		e=$(least "$e" "$(usecs 1 "${5:-loop_none}" "$4")")
	done
	us=$(awk -v t="$t" -v e="$e" 'BEGIN { printf "%.1f", t - e }')
	[[ $3 != *_program ]] || prog_us=$us prog_out=$dir/$3.out
	printf '| %-34s | %9s | %7s | %5s |\n' "$1" "$us" "$(ratio "$prog_us" "$us")" "$(unlike "$dir/$3.out" ${ref-})"
	last=$us
}
best() {		# best RUNS FUNCTION: its least time in ms
	local b= t e
	for ((r = 0; r < $1; r++)); do t=$EPOCHREALTIME; "$2"; e=$EPOCHREALTIME; b=$(least "$b" "$(ms "$t" "$e")"); done
	echo "$b"
}

# Targets: each table checks its own, and says whether it was met; the
# status of the file is 1 if one was missed.
missed=0
check() {		# check WHAT VALUE LIMIT [least]: at most LIMIT, or at least
	local verdict=ok bound=${4:-most}
	awk -v v="$2" -v l="$3" -v b="$bound" 'BEGIN { exit !(b == "most" ? v <= l : v >= l) }' ||
		{ verdict=MISSED; missed=1; }
	printf '    %-50s %8s  (at %s %s) %s\n' "$1" "$2" "$bound" "$3" "$verdict"
}
