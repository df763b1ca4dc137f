#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# The EDK II build stage. From Debian's EDK II source (BaseTools built once per
# machine into the cache):
#   1. a minimal platform of our own, one volume holding only the two drivers,
#      built fresh from the guide's INF, DSC and FDF lines;
#   2. OVMF (OvmfPkgX64.dsc, Debian's 4 MB flags) with both drivers and the
#      trigger sample built from the package's source INFs by the guide's
#      source lines, built incrementally in the cache; its OVMF_CODE.fd and
#      OVMF_VARS.fd go to build/edk2/ovmf/ for the QEMU suite's "edk2" group;
#   3. the checks: tests/edk2/test_edk2_builds.py.
#   tests/edk2/run.sh
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/tests/edk2/edk2_env.sh"
OUT="$ROOT/build/edk2"
PLATFORMS="$ROOT/tests/edk2/platforms.py"

# Checkouts on one machine share the cache: one EDK II stage at a time.
mkdir -p "$EDK2_CACHE"
exec 9>"$EDK2_CACHE/.lock"
flock 9
edk2_prepare
ensure_images
mkdir -p "$OUT"

minimal="$OUT/minimal"
rm -rf "$minimal"
python3 -B "$PLATFORMS" minimal "$minimal" "$QEMU_IMAGE_DIR"
edk2_build "$minimal" EcMinimal/EcMinimal.dsc "$OUT/minimal.log"

# The workspace sits next to the BaseTools it was built with: the same
# EDK II version and the same build scripts.
ovmf="$(dirname "$EDK2_TOOLS")/ovmf"
python3 -B "$PLATFORMS" ovmf "$ovmf" "$EDK2_SRC"
read -ra flags <<<"$(ovmf_debian_flags)"
# Once the whole platform has been built from these very DSC, FDF, flags and
# package sources, nothing is left to compile: EDK II's "fds" target redoes
# the firmware files, volumes and flash images only.
platform_hash=$( (cat "$ovmf"/EcOvmf/*; find "$ovmf/firmware" -type f | sort | xargs cat
  echo "${flags[*]}") | sha256sum | cut -c1-12)
stamp="$ovmf/.built-$platform_hash"
target=()
[[ -f "$stamp" ]] && target=(fds)
rm -f "$ovmf"/.built-*
edk2_build "$ovmf" EcOvmf/OvmfPkgX64.dsc "$OUT/ovmf.log" "${flags[@]}" "${target[@]}"
touch "$stamp"
mkdir -p "$OUT/ovmf"
cp "$ovmf/Build/OvmfX64/RELEASE_GCC5/FV/OVMF_CODE.fd" \
  "$ovmf/Build/OvmfX64/RELEASE_GCC5/FV/OVMF_VARS.fd" "$OUT/ovmf/"

EC_IMAGE_DIR="$QEMU_IMAGE_DIR" EDK2_TOOLS="$EDK2_TOOLS" \
  EDK2_MINIMAL_BUILD="$minimal/Build/EcMinimal/RELEASE_GCC5" EDK2_MINIMAL_LOG="$OUT/minimal.log" \
  EDK2_OVMF_BUILD="$ovmf/Build/OvmfX64/RELEASE_GCC5" EDK2_OVMF_LOG="$OUT/ovmf.log" \
  python3 -B "$ROOT/tests/edk2/test_edk2_builds.py"
