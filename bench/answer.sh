#!/usr/bin/env bash
# The answer side, 1000 lines each into a variable: htmlescape against the
# correct bash function (whose '&' must be '\&' under bash 5.2's
# patsub_replacement), python3 and jq; jsonquote against jq. Each way's
# lines are compared with the builtin's. Then 100 KB at once.
#   bash bench/answer.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
peer jq jq
[ -n "$builtins" ] || { echo "the bash builtins are not built (no bash headers)"; exit 0; }
html_bash() { local s=$1; s=${s//&/\&amp;}; s=${s//</\&lt;}; s=${s//>/\&gt;}; s=${s//\"/\&quot;}
	s=${s//\'/\&#x27;}; x=$s; }
html_builtin() { while IFS= read -r l; do htmlescape -v x "$l"; printf '%s\036\n' "$x"; done; }
html_function() { while IFS= read -r l; do html_bash "$l"; printf '%s\036\n' "$x"; done; }
html_python() { while IFS= read -r l; do x=$("$python" -c 'import html, sys; sys.stdout.write(html.escape(sys.argv[1]))' "$l")
	printf '%s\036\n' "$x"; done; }
html_jq() { while IFS= read -r l; do x=$(jq -rRj @html <<<"$l"); printf '%s\036\n' "$x"; done; }
json_builtin() { while IFS= read -r l; do jsonquote -v x "$l"; printf '%s\036\n' "$x"; done; }
json_jq() { while IFS= read -r l; do x=$(jq -cn --arg s "$l" '$s'); printf '%s\036\n' "$x"; done; }
enable -f shelltools htmlescape jsonquote
# Lines of text with what HTML and JSON escape, and UTF-8.
awk '{ printf "<a href=\"%s\">Tom & Jerry'"'"'s caf\303\251</a>\n", $0 }' "$dir/encoded" >"$dir/page"
echo "| 1000 lines into a variable | µs a line | slowest / it | lines unlike the builtin's |"
echo "|---|---:|---:|---:|"
loop_none >/dev/null </dev/null
html_us=$(awk -v t="$(usecs 5 html_builtin page)" -v e="$(usecs 5 loop_none page)" 'BEGIN { printf "%.1f", t - e }')
ref=$dir/html_builtin.out
for way in html_function html_python html_jq; do
	[[ $way != html_python || -n $python ]] && { [[ $way != html_jq ]] || command -v jq >/dev/null; } || continue
	runs=3; [[ $way == html_function ]] && runs=5
	us=$(awk -v t="$(usecs $runs $way page)" -v e="$(usecs 1 loop_none page)" 'BEGIN { printf "%.1f", t - e }')
	printf '| %-34s | %9s | %7s | %5s |\n' "$way" "$us" "$(ratio "$us" "$html_us")" "$(unlike "$dir/$way.out" "$ref")"
	[[ $way != html_function ]] || func_us=$us
done
printf '| %-34s | %9s | %7s | %5s |\n' "htmlescape -v x" "$html_us" 1.00 0
json_us=$(awk -v t="$(usecs 5 json_builtin page)" -v e="$(usecs 5 loop_none page)" 'BEGIN { printf "%.1f", t - e }')
if command -v jq >/dev/null; then
	jq_us=$(awk -v t="$(usecs 1 json_jq page)" -v e="$(usecs 1 loop_none page)" 'BEGIN { printf "%.1f", t - e }')
	printf '| %-34s | %9s | %7s | %5s |\n' "jq -cn --arg s" "$jq_us" "$(ratio "$jq_us" "$json_us")" \
		"$(unlike "$dir/json_jq.out" "$dir/json_builtin.out")"
fi
printf '| %-34s | %9s | %7s | %5s |\n' "jsonquote -v x" "$json_us" 1.00 0
# 100 KB at once, by the bash function and by the builtin.
text100=$(head -c 102400 "$dir/page")
t=$EPOCHREALTIME; html_bash "$text100"; e=$EPOCHREALTIME; f100=$(awk -v a="$t" -v b="$e" 'BEGIN { printf "%.2f", (b - a) * 1000 }')
t=$EPOCHREALTIME; htmlescape -v y "$text100"; e=$EPOCHREALTIME; b100=$(awk -v a="$t" -v b="$e" 'BEGIN { printf "%.2f", (b - a) * 1000 }')
[ "$x" = "$y" ] || echo "bench: htmlescape and the bash function differ on 100 KB" >&2
echo
echo "| 100 KB of text at once | ms |"
echo "|---|---:|"
printf '| %-34s | %6s |\n' "the bash function" "$f100" "htmlescape -v y" "$b100"

echo
check "HTML: bash function / htmlescape -v, a line" "$(ratio "$func_us" "$html_us")" 1 least
exit $missed
