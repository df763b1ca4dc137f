#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Builds the Linux test guest once per machine: Debian's kernel (its vmlinuz
# is a UEFI application through the EFI stub), an initramfs with static
# busybox, a static ec-setup with its list of machines (the rig's QEMU), the
# test-only efivarfs probe, the efivarfs module and what it depends on,
# Linux's ec_sys module and tests/linux_guest/init, and the ACPI table that
# declares the EC to the guest (ec.aml, from ec_ssdt.asl).
#
# Debian's kernel is built without ec_sys (CONFIG_ACPI_EC_DEBUGFS is off), so
# it is built here, unchanged, from Debian's linux-source package against the
# kernel's own headers, and kept per kernel and source version.
#
# Installs what it needs when missing (as root, through tools/setup.sh):
# linux-image-amd64, busybox-static, the kernel's headers and linux-source.
# Prints the folder holding vmlinuz, initrd.img and ec.aml:
#   ${EC_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ec-drivers}/linux-guest/KEY
# KEY hashes the package versions and every input file.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HERE=$ROOT/tests/linux_guest
CACHE=${EC_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ec-drivers}/linux-guest

"$ROOT/tools/setup.sh" linux-guest

# The kernel the metapackage points at, not whichever one happens to run here.
kernel_package=$(dpkg-query -W -f='${Depends}' linux-image-amd64 | sed 's/[ ,(].*//')
kernel=${kernel_package#linux-image-}
vmlinuz=/boot/vmlinuz-$kernel
[[ -f $vmlinuz ]] || { echo "no $vmlinuz for $kernel_package" >&2; exit 1; }
series=$(echo "$kernel" | cut -d. -f1-2)

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

# ec_sys: its two source files out of the kernel source archive, built as an
# external module (kbuild's own way) against the running kernel's headers.
ec_sys_cache=$CACHE/ec_sys-$kernel-$(dpkg-query -W -f='${Version}' "linux-source-$series")
if [[ ! -f $ec_sys_cache/ec_sys.ko ]]; then
  source_dir=$(mktemp -d)
  tar -xJf "/usr/src/linux-source-$series.tar.xz" -C "$source_dir" --strip-components=3 \
    "linux-source-$series/drivers/acpi/ec_sys.c" "linux-source-$series/drivers/acpi/internal.h"
  echo 'obj-m := ec_sys.o' >"$source_dir/Makefile"
  make -s -C "/lib/modules/$kernel/build" M="$source_dir" modules >&2
  mkdir -p "$ec_sys_cache"
  cp "$source_dir/ec_sys.ko" "$ec_sys_cache/ec_sys.ko.$$"
  mv "$ec_sys_cache/ec_sys.ko.$$" "$ec_sys_cache/ec_sys.ko" # another build may race this one
  rm -rf "$source_dir"
fi

(cd "$ROOT" && cmake --preset host >/dev/null && cmake --build --preset host --target ec-setup) >&2
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
module_files+=("$ec_sys_cache/ec_sys.ko")

key=$({
  dpkg-query -W -f='${Package} ${Version}\n' "$kernel_package" busybox-static acpica-tools
  sha256sum "$vmlinuz" /bin/busybox "$work/ec-setup" "${module_files[@]}" "$HERE/init" \
    "$HERE/efivarfs_probe.cpp" "$HERE/ec-setup.conf" "$HERE/ec_ssdt.asl" \
    "$HERE/initramfs.py" "$HERE/build_guest.sh" | cut -d' ' -f1
} | sha256sum | cut -c1-16)
folder=$CACHE/$kernel-$key
if [[ ! -f $folder/initrd.img ]]; then
  mkdir -p "$work/out"
  cp "$vmlinuz" "$work/out/vmlinuz"
  iasl -p "$work/out/ec" "$HERE/ec_ssdt.asl" >&2
  python3 "$HERE/initramfs.py" "$work/out/initrd.img" "$HERE/init" /bin/busybox "$work/ec-setup" \
    "$work/efivarfs-probe" "$HERE/ec-setup.conf" "${module_files[@]}"
  mkdir -p "$CACHE"
  rm -rf "$folder"
  mv "$work/out" "$folder"
  echo "built the Linux guest in $folder" >&2
fi
echo "$folder"
