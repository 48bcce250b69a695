#!/bin/sh
# The bash headers of another Debian architecture, for a cross build of
# the builtins: that architecture's bash-builtins, fetched with apt and
# unpacked into DIR, never installed. The architecture must be one that
# dpkg knows (dpkg --add-architecture, then apt-get update). Prints the
# folder to give the build as BASH_HEADERS.
#   bash-headers.sh ARCH DIR
set -eu
arch=$1 dir=$2
mkdir -p "$dir"
rm -f "$dir"/bash-builtins_*.deb
(cd "$dir" && apt-get download -q "bash-builtins:$arch" >/dev/null 2>apt.err) || { cat "$dir/apt.err" >&2; exit 1; }
dpkg-deb -x "$dir"/bash-builtins_*_"$arch".deb "$dir"
[ -f "$dir/usr/include/bash/builtins.h" ] || { echo "bash-headers: no builtins.h in bash-builtins:$arch" >&2; exit 1; }
echo "$(cd "$dir/usr/include/bash" && pwd)"
