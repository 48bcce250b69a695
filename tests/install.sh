#!/bin/sh
# cmake --install puts the programs and their pages where a user looks for
# them, and the builtins where bash looks, with a prefix and with DESTDIR, and the installed programs run.
#   install.sh BUILD-DIR [CMAKE]
set -eu
build=$1 cmake=${2:-cmake} here=$(dirname "$0")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The bash builtins, where the build has them; BUILTIN_PRELOAD is what
# bash must preload to run them (a sanitizer's runtime). EMULATOR runs the
# programs of a cross build.
EMULATOR=${EMULATOR-}
builtins=
[ ! -f "$build/lib/bash/shelltools" ] || builtins="lib/bash/shelltools lib/bash/urldecode lib/bash/urlencode lib/bash/shares lib/bash/formdata lib/bash/urlparse lib/bash/htmlescape lib/bash/jsonquote lib/bash/setcookie lib/bash/jsonparse lib/bash/b64 lib/bash/hmac lib/bash/randtoken lib/bash/jwtoken lib/bash/httphead lib/bash/otp lib/bash/sigverify share/man/man7/formdata.7.gz"

check() {			# check ROOT: the installed tree under ROOT works
	for f in bin/urldecode bin/urlencode bin/shares bin/urlparse bin/htmlescape bin/jsonquote \
		bin/setcookie bin/jsonparse share/man/man1/jsonparse.1.gz share/man/man1/urldecode.1.gz share/man/man1/urlencode.1.gz \
		share/man/man1/shares.1.gz share/man/man1/urlparse.1.gz share/man/man1/htmlescape.1.gz \
		share/man/man1/jsonquote.1.gz share/man/man1/setcookie.1.gz bin/b64 bin/hmac bin/randtoken bin/hookverify share/man/man1/hookverify.1.gz \
		bin/jwtoken share/man/man1/jwtoken.1.gz bin/httphead share/man/man1/httphead.1.gz bin/otp share/man/man1/otp.1.gz bin/sigverify share/man/man1/sigverify.1.gz \
		share/man/man1/b64.1.gz share/man/man1/hmac.1.gz share/man/man1/randtoken.1.gz $builtins; do
		[ -f "$1/$f" ] || { echo "not installed: $1/$f" >&2; exit 1; }
	done
	sh "$here/programs.sh" "$1/bin" $EMULATOR
	# This machine's bash runs only this machine's builtins.
	[ -z "$builtins" ] || [ -n "$EMULATOR" ] || [ "$(echo 3 1 0 0 4 | BASH_LOADABLES_PATH="$1/lib/bash" \
		LD_PRELOAD="${BUILTIN_PRELOAD-}" bash -c 'enable -f urldecode urldecode &&
		enable -f urlencode urlencode && enable -f shares shares &&
		urldecode -b -e "+%24HOME%3B+" && urlencode -r "a b" && shares')" = \
		'\$HOME\;a%20b37.50 12.50 0.00 0.00 50.00 8' ]
	gzip -t "$1"/share/man/man1/*.1.gz
}

"$cmake" --install "$build" --prefix "$tmp/prefix" >/dev/null
check "$tmp/prefix"
DESTDIR="$tmp/dest" "$cmake" --install "$build" --prefix /usr/local >/dev/null
check "$tmp/dest/usr/local"
echo "install: ok"
