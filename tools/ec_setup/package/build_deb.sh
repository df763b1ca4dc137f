#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Builds the ec-setup Debian package from a staged tree with dpkg-deb, owned
# by root:root inside the archive without fakeroot, with fixed times, so the
# same tool gives the same package.
# Usage: build_deb.sh EC_SETUP_BINARY VERSION OUTPUT.deb
set -euo pipefail
[[ $# == 3 ]] || { echo "usage: $0 EC_SETUP_BINARY VERSION OUTPUT.deb" >&2; exit 2; }
binary=$1 version=$2 output=$3
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LICENSE=$HERE/../../../LICENSES/BSD-2-Clause-Patent.txt
# The changelog's date, so that rebuilding changes nothing.
export SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' "$HERE/changelog" | head -1)" +%s)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
umask 022
doc=$stage/usr/share/doc/ec-setup
mkdir -p "$stage/DEBIAN" "$stage/usr/sbin" "$stage/usr/share/man/man8" "$doc/examples" \
  "$stage/usr/share/bash-completion/completions" "$stage/usr/share/lintian/overrides"
chmod 0755 "$stage"

strip --strip-unneeded --remove-section=.comment --remove-section=.note -o \
  "$stage/usr/sbin/ec-setup" "$binary"
sed "s/@VERSION@/$version/" "$HERE/ec-setup.8" | gzip -9n >"$stage/usr/share/man/man8/ec-setup.8.gz"
install -m 0644 "$HERE/ec-setup.bash-completion" "$stage/usr/share/bash-completion/completions/ec-setup"
install -m 0644 "$HERE/ec-setup.conf" "$doc/examples/ec-setup.conf"
install -m 0644 "$HERE/lintian-overrides" "$stage/usr/share/lintian/overrides/ec-setup"
gzip -9n <"$HERE/changelog" >"$doc/changelog.gz"
{
  cat "$HERE/copyright.head"
  # The licence text as the format wants it: indented, blank lines as " .".
  tr -d '\r' <"$LICENSE" | sed -e 's/^[[:space:]]*$/./' -e 's/^/ /'
} >"$doc/copyright"

size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@SIZE@/$size/" "$HERE/control" >"$stage/DEBIAN/control"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz --build "$stage" "$output" >/dev/null
echo "$output"
