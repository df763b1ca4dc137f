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
#   3. the package alone from its DSC and source INFs (tests/edk2/package.sh)
#      with each toolchain the INFs carry flags for, and once with the
#      platform's constants set, as our own image build is with the same
#      constants as cache variables; each build's images run the whole
#      catalogue on the emulated CPU, expecting what its constants say;
#   4. the checks: tests/edk2/test_edk2_builds.py, test_package_builds.py.
#   tests/edk2/run.sh
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/tests/edk2/edk2_env.sh"
source "$ROOT/tests/edk2/package.sh"
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

# The catalogue runs on the image bench of the host build.
(cd "$ROOT" && cmake --preset host >/dev/null && cmake --build --preset host --target image_bench_tests >/dev/null)
status=0
builds=()
for toolchain in "${PACKAGE_TOOLCHAINS[@]}"; do
  package_build "$toolchain" "$OUT/package/$toolchain"
  builds+=("$OUT/package/$toolchain")
done
# Not the defaults, so that a constant that does not reach the image shows;
# set too as our own image build's cache variables.
package_build GCC5 "$OUT/package/GCC5-constants" \
  -D EC_VERSION_FIELD1=0x12 -D EC_VERSION_FIELD3=0x34 -D EC_IMAGE_BASE=0xFE660000
builds+=("$OUT/package/GCC5-constants")
cmake_constants="$OUT/cmake-constants"
(cd "$ROOT" && cmake --preset image -B "$cmake_constants" -DEC_VERSION_FIELD1=0x12 \
  -DEC_VERSION_FIELD3=0x34 -DEC_IMAGE_BASE=0xFE660000 >/dev/null &&
  cmake --build "$cmake_constants" --target ec_flash_updater ec_threshold_guard >/dev/null)
for build in "${builds[@]}" "$cmake_constants"; do
  package_catalogue "$build" || status=1
done
python3 -B "$ROOT/tests/edk2/test_package_builds.py" "${builds[@]}" || status=1

EC_IMAGE_DIR="$QEMU_IMAGE_DIR" EDK2_TOOLS="$EDK2_TOOLS" \
  EDK2_MINIMAL_BUILD="$minimal/Build/EcMinimal/RELEASE_GCC5" EDK2_MINIMAL_LOG="$OUT/minimal.log" \
  EDK2_OVMF_BUILD="$ovmf/Build/OvmfX64/RELEASE_GCC5" EDK2_OVMF_LOG="$OUT/ovmf.log" \
  python3 -B "$ROOT/tests/edk2/test_edk2_builds.py" || status=1
exit $status
