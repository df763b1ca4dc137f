#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Fetches a Debian source package without touching the machine's apt
# configuration: the deb-src list, the package lists and the download cache
# all live under build/apt/ of this checkout and reach apt through its -o
# options.
#   tools/debian_source.sh version PACKAGE      the newest source version
#   tools/debian_source.sh fetch PACKAGE DIR    unpacks it under DIR/VERSION once, prints the tree's path
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
APT_DIR="$ROOT/build/apt"

apt_options=(
  -o "Dir::Etc::sourcelist=/dev/null"
  -o "Dir::Etc::sourceparts=$APT_DIR/sources.list.d"
  -o "Dir::State::Lists=$APT_DIR/lists"
  -o "Dir::Cache=$APT_DIR/cache"
  -o "APT::Sandbox::User=root"
)

prepare() {
  [[ -f "$APT_DIR/lists/.updated" ]] && return 0
  mkdir -p "$APT_DIR/sources.list.d" "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
  local suite uri
  : >"$APT_DIR/sources.list.d/debian-src.sources"
  for suite in "http://deb.debian.org/debian|bookworm bookworm-updates" \
    "http://deb.debian.org/debian-security|bookworm-security"; do
    uri=${suite%%|*}
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n\n' \
      "$uri" "${suite#*|}" /usr/share/keyrings/debian-archive-keyring.gpg \
      >>"$APT_DIR/sources.list.d/debian-src.sources"
  done
  apt-get "${apt_options[@]}" -qq update >&2
  touch "$APT_DIR/lists/.updated"
}

newest_version() {
  apt-cache "${apt_options[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1
}

case "${1:-}" in
  version)
    prepare
    newest_version "$2"
    ;;
  fetch)
    prepare
    package=$2
    dest=$3
    version=$(newest_version "$package")
    [[ -n "$version" ]] || { echo "no Debian source for $package" >&2; exit 1; }
    dest="$dest/${version//[:~]/_}"
    find_tree() { find "$dest" -mindepth 2 -maxdepth 2 -name debian -printf '%h\n' 2>/dev/null | head -n 1 || true; }
    tree=$(find_tree)
    if [[ -z "$tree" ]]; then
      "$ROOT/tools/setup.sh" source
      mkdir -p "$dest"
      (cd "$dest" && apt-get "${apt_options[@]}" -qq source "$package=$version" >&2) ||
        { echo "apt-get source $package=$version failed" >&2; exit 1; }
      tree=$(find_tree)
    fi
    echo "$tree"
    ;;
  *)
    echo "usage: $0 version PACKAGE | fetch PACKAGE DIR" >&2
    exit 2
    ;;
esac
