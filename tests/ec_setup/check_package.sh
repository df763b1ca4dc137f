#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# The ec-setup Debian package: built by the host build's ec-setup-deb target,
# lintian without a tag beyond the overrides the package ships (each
# justified there), exactly the files a fleet installs, and the packaged
# tool answering with the package's version.
# Needs lintian (tools/setup.sh installs it for the tests).
set -euo pipefail
cd "$(dirname "$0")/../.."

cmake --preset host >/dev/null
cmake --build --preset host --target ec-setup-deb >/dev/null
version=$(sed -n '1s/^ec-setup (\([0-9.]*\)).*/\1/p' tools/ec_setup/package/changelog)
deb=build/host/tools/ec_setup/ec-setup_${version}_amd64.deb

# lintian refuses nothing as root, but says so on stderr; keep only its tags.
lintian --fail-on error,warning,info,pedantic --pedantic --info "$deb" 2> >(grep -v 'root privileges' >&2)
echo "lintian: no tag on $deb (overrides: $(grep -c '^ec-setup:' tools/ec_setup/package/lintian-overrides))"

expected="./usr/sbin/ec-setup -rwxr-xr-x
./usr/share/bash-completion/completions/ec-setup -rw-r--r--
./usr/share/doc/ec-setup/changelog.gz -rw-r--r--
./usr/share/doc/ec-setup/copyright -rw-r--r--
./usr/share/doc/ec-setup/examples/ec-setup.conf -rw-r--r--
./usr/share/lintian/overrides/ec-setup -rw-r--r--
./usr/share/man/man8/ec-setup.8.gz -rw-r--r--"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6, $1}' | sort)
owners=$(dpkg-deb -c "$deb" | awk '{print $2}' | sort -u)
if [[ $files != "$expected" || $owners != root/root ]]; then
  echo "package contents differ:" >&2
  diff <(echo "$expected") <(echo "$files") >&2 || true
  echo "owners: $owners" >&2
  exit 1
fi
echo "contents: $(wc -l <<<"$files") files as expected, all root/root"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
said=$("$unpacked/usr/sbin/ec-setup" --version)
[[ $said == "ec-setup $version" ]] || { echo "packaged tool says '$said', not ec-setup $version" >&2; exit 1; }
echo "packaged tool: $said"
