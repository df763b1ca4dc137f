#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Builds the Linux test guest once per machine: Debian's kernel (its vmlinuz
# is a UEFI application through the EFI stub) and an initramfs with static
# busybox, a static ec-setup with its list of machines (the rig's QEMU), the test-only efivarfs probe, the efivarfs module and what it depends on, and
# tests/linux_guest/init. Installs linux-image-amd64 and busybox-static when
# missing (as root). Prints the folder holding vmlinuz and initrd.img:
#   ${EC_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ec-drivers}/linux-guest/KEY
# KEY hashes the kernel and busybox package versions and every input file.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HERE=$ROOT/tests/linux_guest
CACHE=${EC_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ec-drivers}/linux-guest

installed() { [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]; }

missing=()
for package in linux-image-amd64 busybox-static kmod binutils python3; do
  installed "$package" || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
  echo "installing: ${missing[*]}" >&2
  if ((EUID != 0)); then
    echo "missing packages and not root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >&2
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# The kernel the metapackage points at, not whichever one happens to run here.
kernel_package=$(dpkg-query -W -f='${Depends}' linux-image-amd64 | sed 's/[ ,(].*//')
kernel=${kernel_package#linux-image-}
vmlinuz=/boot/vmlinuz-$kernel
[[ -f $vmlinuz ]] || { echo "no $vmlinuz for $kernel_package" >&2; exit 1; }

# efivarfs and, depth first, every module it needs, each before its user.
modules=()
add_module() {
  local name=$1 dependency file
  for dependency in $(modinfo -k "$kernel" -F depends "$name" | tr ',' ' '); do
    add_module "$dependency"
  done
  file=$(modinfo -k "$kernel" -n "$name")
  [[ $file == /* ]] || return 0 # built in: nothing to load
  [[ " ${modules[*]} " == *" $file "* ]] || modules+=("$file")
}
add_module efivarfs

{
  "$ROOT/tools/setup.sh" build
  cd "$ROOT" && cmake --preset host >/dev/null && cmake --build --preset host --target ec-setup
} >&2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
strip -o "$work/ec-setup" "$ROOT/build/host/tools/ec_setup/ec-setup"
g++ -std=c++20 -O2 -Wall -Wextra -Werror -static -s -o "$work/efivarfs-probe" "$HERE/efivarfs_probe.cpp"
for file in "${modules[@]}"; do
  case $file in
  *.ko) cp "$file" "$work/" ;;
  *.ko.xz) xz -dc "$file" >"$work/$(basename "${file%.xz}")" ;;
  *.ko.zst) zstd -qdc "$file" >"$work/$(basename "${file%.zst}")" ;;
  *) echo "cannot unpack $file" >&2; exit 1 ;;
  esac
done
module_files=()
for file in "${modules[@]}"; do
  name=$(basename "$file")
  module_files+=("$work/${name%.ko*}.ko")
done

key=$({
  dpkg-query -W -f='${Package} ${Version}\n' "$kernel_package" busybox-static
  sha256sum "$vmlinuz" /bin/busybox "$work/ec-setup" "${module_files[@]}" "$HERE/init" \
    "$HERE/efivarfs_probe.cpp" "$HERE/ec-setup.conf" \
    "$HERE/initramfs.py" "$HERE/build_guest.sh" | cut -d' ' -f1
} | sha256sum | cut -c1-16)
folder=$CACHE/$kernel-$key
if [[ ! -f $folder/initrd.img ]]; then
  mkdir -p "$work/out"
  cp "$vmlinuz" "$work/out/vmlinuz"
  python3 "$HERE/initramfs.py" "$work/out/initrd.img" "$HERE/init" /bin/busybox "$work/ec-setup" \
    "$work/efivarfs-probe" "$HERE/ec-setup.conf" "${module_files[@]}"
  mkdir -p "$CACHE"
  rm -rf "$folder"
  mv "$work/out" "$folder"
  echo "built the Linux guest in $folder" >&2
fi
echo "$folder"
