# SPDX-License-Identifier: BSD-2-Clause-Patent
# shellcheck shell=bash
# Sourced by tests/edk2/run.sh after edk2_env.sh: the package built alone from
# its DSC and source INFs (firmware/EcDriversPkg.dsc) with EDK II's
# toolchains, its images checked on the emulated CPU.
#   package_build TOOLCHAIN OUT [-D NAME=VALUE...]   fresh build; OUT gets the
#       .efi and .depex files, the build log and the settings record
#   package_catalogue DIR   every catalogue scenario on DIR's images

# The toolchains the drivers' INFs carry flags for (run.sh builds with each).
# shellcheck disable=SC2034
PACKAGE_TOOLCHAINS=(GCC5 CLANGDWARF CLANGPDB)
PACKAGE_DSC=firmware/EcDriversPkg.dsc
PACKAGE_MODULES=(updater/ec_flash_updater guard/ec_threshold_guard)

package_build() {
  local toolchain=$1 out=$2
  shift 2
  local workspace="$out.workspace"
  rm -rf "$out" "$workspace" && mkdir -p "$out" "$workspace" || return 1
  # The repository is the package's home on PACKAGES_PATH; the clang
  # toolchains find clang, lld and the LLVM tools through CLANG_BIN.
  local TIMEFORMAT="EDK II: package alone with $toolchain $*: %R s wall, %U s user + %S s system CPU"
  time (edk2_enter "$workspace" && export PACKAGES_PATH="$ROOT:$EDK2_SRC" CLANG_BIN=/usr/bin/ &&
    build -p "$PACKAGE_DSC" -a X64 -t "$toolchain" -b RELEASE -n 2 "$@" >"$out/build.log" 2>&1) ||
    { tail -n 40 "$out/build.log" >&2; echo "EDK II: package with $toolchain failed, log in $out/build.log" >&2; return 1; }
  local built="$workspace/Build/EcDriversPkg/RELEASE_$toolchain/X64" module name
  for module in "${PACKAGE_MODULES[@]}"; do
    name=$(basename "$module")
    cp "$built/$name.efi" "$built/firmware/$module/OUTPUT/$name.depex" "$out/" || return 1
  done
  # The build's settings, as our own image build records them.
  local setting
  for setting in "$@"; do
    [[ $setting == -D ]] || echo "$setting"
  done >"$out/ec_flash_updater.settings"
}

package_catalogue() {
  local dir=$1
  echo "EDK II: the catalogue on $(basename "$dir")'s images:"
  EC_IMAGE_DIR=$dir "$ROOT/build/host/tests/image_bench/image_bench_tests" --gtest_brief=1 \
    --gtest_filter='Image/ImageScenario.*:ImageBusy.*' | grep -E '^\[ +(PASSED|FAILED) +\]|Failure'
  return "${PIPESTATUS[0]}"
}
