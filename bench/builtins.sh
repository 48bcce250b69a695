#!/usr/bin/env bash
# What a CGI script pays on every request to load the builtins, against
# bash running ':'. All of them live in one object, so one enable maps and
# binds it once; each enable of its own costs bash a command, a search of
# the path and a sort of its table, but maps nothing more.
#   bash bench/builtins.sh [build-dir]
source "$(dirname "$0")/common.sh" "$@"
[ -n "$builtins" ] || { echo "the bash builtins are not built (no bash headers)"; exit 0; }
all="urldecode urlencode shares formdata urlparse htmlescape jsonquote setcookie jsonparse b64 hmac randtoken jwtoken httphead otp sigverify"

table
case_ "bash loading the builtins"
row "bash -c :" /dev/null bash -c :
bash_start=$base
row "enable -f shelltools, all $(echo $all | wc -w)" /dev/null bash -c "enable -f shelltools $all"
load_all=$last
row "enable -f NAME NAME, $(echo $all | wc -w) times" /dev/null bash -c "$(for b in $all; do printf 'enable -f %s %s\n' $b $b; done)"

echo
check "bash loading every builtin / bash -c :" "$(ratio "$load_all" "$bash_start")" 1.25
exit $missed
