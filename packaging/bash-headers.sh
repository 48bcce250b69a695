#!/bin/sh
# The bash headers of another Debian architecture, for a cross build of
# the builtins: that architecture's bash-builtins, fetched with apt and
# unpacked into DIR, never installed. Prints the folder to give the build
# as BASH_HEADERS.
#   bash-headers.sh ARCH DIR
#
# apt works in a state of its own under DIR, whose lists hold ARCH's
# index alone: dpkg's architectures and the host's lists are left as
# they are, so no later apt-get update of the host's fetches a foreign
# index, and a foreign index that cannot be had (a mirror mid-sync)
# stops only the build that needs it. A failed fetch is tried once more
# after a pause of PAUSE seconds (60 unless set), then reported.
set -eu
arch=$1 dir=$2
mkdir -p "$dir"
state=$(cd "$dir" && pwd)/apt
mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
fetch() {
	apt-get -q -o Dir::State::Lists="$state/lists" -o Dir::Cache="$state/cache" \
		-o APT::Architecture="$arch" -o APT::Architectures::="$arch" \
		-o APT::Sandbox::User=root "$@"
}
rm -f "$dir"/bash-builtins_*.deb
got() {
	fetch update >"$state/update.log" 2>&1 || true
	(cd "$dir" && fetch download "bash-builtins:$arch" >/dev/null 2>"$state/download.log")
}
if ! got; then
	echo "bash-headers: bash-builtins:$arch could not be had; again in ${PAUSE:-60} s" >&2
	sleep "${PAUSE:-60}"
	got || {
		cat "$state/update.log" "$state/download.log" >&2
		echo "bash-headers: bash-builtins:$arch could not be had" >&2
		exit 1
	}
fi
dpkg-deb -x "$dir"/bash-builtins_*_"$arch".deb "$dir"
[ -f "$dir/usr/include/bash/builtins.h" ] || { echo "bash-headers: no builtins.h in bash-builtins:$arch" >&2; exit 1; }
echo "$(cd "$dir/usr/include/bash" && pwd)"
