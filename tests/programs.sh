#!/bin/sh
# Each program in BIN, run (under EMULATOR, where one is given) on a known
# input, gives the known bytes: for a build installed, a package unpacked
# and a package installed alike.
#   programs.sh BIN [EMULATOR...]
set -eu
bin=$1
shift
is() { [ "$1" = "$2" ] || { echo "programs: $3 gave '$1', not '$2'" >&2; exit 1; }; }
is "$("$@" "$bin/urldecode" -b -e '+%24HOME%3B+')" '\$HOME\;' urldecode
is "$("$@" "$bin/urlencode" -r 'a b')" a%20b urlencode
is "$(echo 3 1 0 0 4 | "$@" "$bin/shares")" '37.50 12.50 0.00 0.00 50.00 8' shares
is "$("$@" "$bin/urlparse" -b http://a/b/c '../D?q')" 'http://a/D?q' urlparse
is "$("$@" "$bin/urlparse" -g hostname 'http://0x7f.1/')" 127.0.0.1 "urlparse -g"
is "$("$@" "$bin/htmlescape" '<&>')$("$@" "$bin/jsonquote" 'a"')" '&lt;&amp;&gt;"a\""' "htmlescape, jsonquote"
is "$("$@" "$bin/setcookie" -s a 'b c')" 'Set-Cookie: a=b%20c; Secure' setcookie
is "$(echo '{"a": [1, "x"]}' | "$@" "$bin/jsonparse" -g /a)" '[1,"x"]' jsonparse
