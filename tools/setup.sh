#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Installs the Debian packages the build and the tests need, when missing.
# Usage: tools/setup.sh build|test|edk2
set -euo pipefail

build_packages=(cmake ninja-build g++ clang lld llvm python3 libgtest-dev libgmock-dev
  libunicorn-dev)
# EDK II's builds: Debian's own OVMF build's needs, the tools the checks use,
# and the clang toolchains' LLVM tools.
edk2_packages=(gcc g++ make nasm acpica-tools uuid-dev dpkg-dev xz-utils uefitool-cli clang lld
  llvm)
test_packages=("${build_packages[@]}" "${edk2_packages[@]}" libclang-rt-14-dev clang-format
  clang-tidy cppcheck qemu-system-x86 ovmf imagemagick reuse mtools lintian)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  edk2) wanted=("${edk2_packages[@]}") ;;
  *) echo "usage: $0 build|test|edk2" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" != "install ok installed" ]]; then
    missing+=("$package")
  fi
done
((${#missing[@]} == 0)) && exit 0

echo "installing: ${missing[*]}" >&2
if [[ $(id -u) -ne 0 ]]; then
  echo "missing packages and not root: run as root or install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
