#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# The one installer: which Debian packages each purpose needs, and the missing
# ones installed (as root) in one apt-get run with one message. Every script
# that needs a package asks this one.
#   tools/setup.sh PURPOSE...          installs what the purposes need, when missing
#   tools/setup.sh --list PURPOSE...   prints their packages, one a line
# Purposes: tool, build, asan, lint, package, source, rig, linux-guest, edk2,
# screenshot, and test (everything ./test runs). Everything it says goes to
# stderr: callers print paths on stdout.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PURPOSES="tool build asan lint package source rig linux-guest edk2 screenshot test"

packages_for() {
  case $1 in
    # ec-setup alone (./run setup): its own CMake project, g++ only.
    tool) echo cmake ninja-build g++ ;;
    # The driver images (clang, lld) and the host tools, the EC model and their
    # tests; ccache keeps the host builds' objects across checkouts.
    build) echo cmake ninja-build g++ clang lld llvm python3 libgtest-dev libgmock-dev libunicorn-dev ccache ;;
    # clang's sanitizer runtime for the asan preset.
    asan) packages_for build && echo libclang-rt-14-dev ;;
    lint) echo clang-format clang-tidy cppcheck reuse ;;
    # lintian for the check of ec-setup's Debian package (dpkg-deb builds it).
    package) echo lintian ;;
    # Debian source packages, fetched and unpacked by tools/debian_source.sh.
    source) echo dpkg-dev xz-utils ;;
    # The rig's QEMU built from Debian's source, with the option ROMs and VGA
    # BIOS it loads at run time from Debian's qemu-system-data and seabios;
    # OVMF; mtools for the FAT disks the scenarios boot from; the driver
    # images and the EC model.
    rig)
      packages_for build && packages_for source
      echo gcc make pkg-config python3 meson ninja-build libglib2.0-dev libpixman-1-dev libfdt-dev \
        qemu-system-data seabios ovmf mtools
      ;;
    # Debian's kernel (booted through its EFI stub) and static busybox for the
    # initramfs, with a static ec-setup built here; that kernel's headers and
    # source to build Linux's ec_sys, which Debian's kernel leaves out; iasl
    # for the ACPI table that declares the EC to the guest.
    linux-guest)
      packages_for build
      echo linux-image-amd64 busybox-static kmod binutils make xz-utils acpica-tools
      guest_kernel_sources
      ;;
    # What Debian's own OVMF build asks for (its debian/control), UEFIExtract
    # to read the images built, and the clang toolchains' LLVM tools.
    edk2)
      packages_for source
      echo gcc g++ make nasm acpica-tools python3 uuid-dev uefitool-cli clang lld llvm
      ;;
    screenshot) packages_for rig && echo netpbm ;;
    test)
      local purpose
      for purpose in build asan lint package rig linux-guest edk2; do packages_for "$purpose"; done
      ;;
    *)
      echo "unknown purpose $1; purposes: $PURPOSES" >&2
      return 1
      ;;
  esac
}

# The headers and the source of the kernel linux-image-amd64 points at: the
# installed one's, else the one apt would install with it.
guest_kernel_sources() {
  local depends kernel
  if [[ -z $(missing_of linux-image-amd64) ]]; then
    depends=$(dpkg-query -W -f='${Depends}' linux-image-amd64)
  else
    depends=$(apt-cache show --no-all-versions linux-image-amd64 | sed -n 's/^Depends: //p')
  fi
  kernel=$(sed 's/[ ,(].*//; s/^linux-image-//' <<<"$depends")
  [[ -n $kernel ]] || { echo "no kernel behind linux-image-amd64" >&2; return 1; }
  echo "linux-headers-$kernel linux-source-$(cut -d. -f1-2 <<<"$kernel")"
}

# Each package once, in the order first named.
packages_of() {
  local purpose
  for purpose in "$@"; do
    packages_for "$purpose" || return 1
  done | tr ' ' '\n' | awk 'NF && !seen[$0]++'
}

missing_of() {
  local installed
  installed=$(dpkg-query -W -f='${Status} ${Package}\n' "$@" 2>/dev/null |
    sed -n 's/^install ok installed //p' || true)
  local package
  for package in "$@"; do
    grep -qxF "$package" <<<"$installed" || echo "$package"
  done
}

list=false
if [[ "${1:-}" == --list ]]; then
  list=true
  shift
fi
(($# > 0)) || { echo "usage: $0 [--list] PURPOSE...   purposes: $PURPOSES" >&2; exit 2; }
wanted=$(packages_of "$@") || exit 2
mapfile -t wanted <<<"$wanted"
if $list; then
  printf '%s\n' "${wanted[@]}"
  exit 0
fi

mapfile -t missing < <(missing_of "${wanted[@]}")
((${#missing[@]} == 0)) && exit 0

if ((EUID != 0)); then
  echo "missing Debian packages for $*: ${missing[*]}; run as root: $ROOT/tools/setup.sh $*" >&2
  exit 1
fi
echo "installing for $*: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -o DPkg::Lock::Timeout=900)
"${apt[@]}" update -qq >&2
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
