#!/bin/sh
# The Debian package holds the programs, their pages, the bash builtins
# (one object, and a link to it by each one's name) and the page of
# formdata, a builtin alone, the licence, the changelog, the README and
# examples/form.cgi, hook.cgi and webhook.cgi, says what it is, depends on libc6 alone,
# conflicts with the other urlencode that Debian has,
# and works once unpacked into a scratch root. A cross build's package is
# for ARCH and runs under EMULATOR (or, where that is "none", is not run).
# Its description says whether it holds the builtins, and it does just
# where it says so: a native one always, a cross one where WANT_BUILTINS
# is yes (where the target's bash-builtins could be had), and none where
# it is no. Only this machine's builtins are run.
#   [WANT_BUILTINS=yes|no] package.sh DEB [ARCH EMULATOR...]
set -eu
deb=$1 arch=$(dpkg --print-architecture) emulator=
if [ $# -ge 2 ]; then
	arch=$2
	shift 2
	emulator=$*
fi
builtins="./usr/lib/bash/shelltools ./usr/share/man/man7/formdata.7.gz"
links="urldecode urlencode shares formdata urlparse htmlescape jsonquote setcookie jsonparse b64 hmac randtoken jwtoken httphead otp sigverify"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

contents=$(dpkg-deb -c "$deb")
description=$(dpkg-deb -f "$deb" Description)
want=${WANT_BUILTINS-}
[ -n "$emulator" ] || want=yes
case $description in
*"and all are bash builtins"*) has=yes ;;
*"holds no bash builtins"*) has=no ;;
*) fail "the description does not say whether it holds the builtins" ;;
esac
[ -z "$want" ] || [ "$want" = "$has" ] || fail "builtins: $has, where $want was wanted"
if [ $has = no ]; then
	! echo "$contents" | grep -q ' \./usr/lib/bash/.' || fail "builtins that the description denies"
	! echo "$contents" | grep -q ' \./usr/share/man/man7/.' || fail "formdata.7 with no builtin"
	builtins= links=
fi
for l in $links; do
	echo "$contents" | grep -q " \./usr/lib/bash/$l -> shelltools\$" || fail "no link $l -> shelltools"
done
for f in ./usr/bin/urldecode ./usr/bin/urlencode ./usr/bin/shares ./usr/bin/urlparse \
	./usr/bin/htmlescape ./usr/bin/jsonquote ./usr/bin/setcookie ./usr/bin/jsonparse \
	./usr/bin/b64 ./usr/bin/hmac ./usr/bin/randtoken ./usr/bin/hookverify ./usr/bin/jwtoken \
	./usr/bin/httphead ./usr/share/man/man1/httphead.1.gz ./usr/bin/otp ./usr/share/man/man1/otp.1.gz ./usr/bin/sigverify ./usr/share/man/man1/sigverify.1.gz \
	./usr/share/man/man1/jwtoken.1.gz ./usr/share/man/man1/b64.1.gz \
	./usr/share/man/man1/hookverify.1.gz \
	./usr/share/man/man1/hmac.1.gz ./usr/share/man/man1/randtoken.1.gz \
	./usr/share/man/man1/jsonparse.1.gz \
	./usr/share/man/man1/htmlescape.1.gz ./usr/share/man/man1/jsonquote.1.gz \
	./usr/share/man/man1/setcookie.1.gz \
	./usr/share/man/man1/urldecode.1.gz ./usr/share/man/man1/urlencode.1.gz \
	./usr/share/man/man1/shares.1.gz ./usr/share/man/man1/urlparse.1.gz \
	$builtins \
	./usr/share/doc/shelltools/copyright ./usr/share/doc/shelltools/changelog.gz \
	./usr/share/doc/shelltools/README.md.gz ./usr/share/doc/shelltools/examples/form.cgi \
	./usr/share/doc/shelltools/examples/hook.cgi ./usr/share/doc/shelltools/examples/webhook.cgi \
	./usr/share/doc/shelltools/examples/top-paths.sh ./usr/share/doc/shelltools/examples/api-client.sh; do
	echo "$contents" | grep -q " $f\$" || fail "$f missing"
done

[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "not for $arch"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "section is not utils"
[ "$(dpkg-deb -f "$deb" Multi-Arch)" = foreign ] || fail "not Multi-Arch: foreign"
[ "$(dpkg-deb -f "$deb" Conflicts)" = gridsite-clients ] || fail "no Conflicts: gridsite-clients"
depends=$(dpkg-deb -f "$deb" Depends)
case $depends in
libc6 | "libc6 ("*")" | "libc6.1 ("*")") ;;	# libc6.1 on alpha
*) fail "depends on more than libc6: $depends" ;;
esac
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no long description"
dpkg-deb -I "$deb" >/dev/null

dpkg -x "$deb" "$tmp"
bin=$tmp/usr/bin man=$tmp/usr/share/man/man1 lib=$tmp/usr/lib/bash
# The programs run, and so are for ARCH.
if [ "$emulator" != none ]; then
	sh "$(dirname "$0")/programs.sh" "$bin" $emulator || fail "a program gave other bytes"
fi
binaries="$bin/urldecode $bin/urlencode $bin/shares $bin/urlparse $bin/htmlescape $bin/jsonquote $bin/setcookie $bin/jsonparse $bin/b64 $bin/hmac $bin/randtoken $bin/hookverify $bin/jwtoken $bin/httphead $bin/otp $bin/sigverify"
if [ -n "$builtins" ] && [ -z "$emulator" ]; then
	[ "$(echo 3 1 0 0 4 | BASH_LOADABLES_PATH=$lib bash -c 'enable -f urldecode urldecode &&
		enable -f urlencode urlencode && enable -f shares shares && enable -f urlparse urlparse &&
		urldecode -b -e "+%24HOME%3B+" && urlencode -r "a b" && shares && urlparse -g host HTTP://A:80')" = \
		'\$HOME\;a%20b37.50 12.50 0.00 0.00 50.00 8a' ] || fail "builtins"
fi
if [ -n "$builtins" ]; then
	binaries="$binaries $lib/shelltools"
fi
for p in $binaries; do
	# Where the stack protector's guard lives in the dynamic loader, it is
	# needed too; a program loads it anyway.
	needed=$(readelf -d "$p" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | grep -v '^ld')
	# glibc's soname on alpha is libc.so.6.1.
	[ "$needed" = libc.so.6 ] || [ "$needed" = libc.so.6.1 ] || fail "$p needs $needed"
done
# Hardened as dpkg-buildflags' hardening=+all hardens for ARCH, which
# leaves out what the target lacks (the stack protector on alpha and hppa,
# say), as the build does; control-flow protection needs a C library built
# for it, which this one is not. (objdump, which it calls, cannot read
# every architecture's code.)
skip=--nocfprotection
for feature in $(DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_HOST_ARCH=$arch \
	dpkg-buildflags --query-features hardening | awk '/^Feature:/ { f = $2 } /^Enabled: no/ { print f }'); do
	case $feature in
	stackprotector | relro | bindnow | pie) skip="$skip --no$feature" ;;
	esac
done
report=$(hardening-check $skip $binaries 2>/dev/null) || fail "not hardened: $report"
# lintian, pedantic and with its info tags, finds nothing to say.
tags=$(lintian --pedantic --display-info "$deb" 2>/dev/null) || fail "lintian failed"
[ -z "$tags" ] || fail "lintian: $tags"
# gzip -9n: no name, no time stamp, best compression.
man7=$(find "$tmp/usr/share/man" -name '*.7.gz')	# formdata's, where the builtins are
for gz in "$man"/*.1.gz $man7 "$tmp/usr/share/doc/shelltools/changelog.gz"; do
	[ "$(od -An -tx1 -N9 "$gz" | tr -d ' \n')" = 1f8b08000000000002 ] ||
		fail "$gz is not compressed with gzip -9n"
done
for page in "$man"/*.1.gz $man7; do
	gzip -dc "$page" | mandoc -T lint -W warning
done
echo "package: ok"
