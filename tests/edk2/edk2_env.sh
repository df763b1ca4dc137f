# SPDX-License-Identifier: BSD-2-Clause-Patent
# shellcheck shell=bash
# Sourced by the EDK II build scripts (expects ROOT, the repository): fetches
# Debian's EDK II source, builds its BaseTools once per machine into the cache
# and sets up the EDK II build environment for a workspace.
#   edk2_prepare           sets EDK2_SRC, EDK2_VERSION, EDK2_TOOLS (BaseTools, built)
#   edk2_enter WORKSPACE   sources edksetup.sh: PACKAGES_PATH=WORKSPACE:EDK2_SRC
#   edk2_build WORKSPACE DSC LOG [OPTION...]   EDK II's build in a subshell

source "$ROOT/tools/firmware_run/prepare.sh"

EC_CACHE=${EC_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ec-drivers}
EDK2_CACHE="$EC_CACHE/edk2"

# sha256 of the given files, 12 hex digits: our own inputs in a cache key.
inputs_hash() { cat "$@" | sha256sum | cut -c1-12; }

edk2_prepare() {
  "$ROOT/tools/setup.sh" edk2 || return 1
  EDK2_SRC=$("$ROOT/tools/debian_source.sh" fetch edk2 "$EDK2_CACHE/src") || return 1
  EDK2_VERSION=$(basename "$(dirname "$EDK2_SRC")")
  local key
  key="$EDK2_CACHE/$EDK2_VERSION-$(inputs_hash "$ROOT/tests/edk2/edk2_env.sh")" || return 1
  EDK2_TOOLS="$key/BaseTools"
  [[ -f "$key/.built" ]] && return 0
  echo "EDK II: building BaseTools $EDK2_VERSION into $key"
  rm -rf "$key" && mkdir -p "$key" && cp -a "$EDK2_SRC/BaseTools" "$EDK2_TOOLS" || return 1
  # Debian's tree has the Brotli sources stripped; its packaging patch
  # (applied by dpkg-source) takes BrotliCompress out of the C build.
  local start=$SECONDS
  if ! make -C "$EDK2_TOOLS" -j2 ARCH=X64 >"$key/make.log" 2>&1; then
    tail -n 30 "$key/make.log" >&2
    echo "EDK II: BaseTools build failed ($key/make.log)" >&2
    return 1
  fi
  echo "EDK II: BaseTools built in $((SECONDS - start)) s"
  touch "$key/.built"
}

edk2_enter() {
  export WORKSPACE=$1 EDK_TOOLS_PATH=$EDK2_TOOLS PYTHON3_ENABLE=TRUE
  export PACKAGES_PATH="$1:$EDK2_SRC"
  unset CONF_PATH
  mkdir -p "$WORKSPACE/Conf"
  _edk2_source
}

# edksetup.sh reads its caller's positional parameters and is not safe under
# set -e (nor set -u): source it from a function that has none, with both off.
_edk2_source() {
  local saved=$- status
  set +eu
  # shellcheck disable=SC1091  # Debian's tree, fetched at run time
  cd "$WORKSPACE" && . "$EDK2_SRC/edksetup.sh" >/dev/null
  status=$?
  [[ $saved == *e* ]] && set -e
  [[ $saved == *u* ]] && set -u
  return $status
}

# The flags of Debian's own 4 MB OVMF build, read from its debian/rules.
ovmf_debian_flags() {
  # shellcheck disable=SC2016  # $(OVMF_4M_FLAGS) is make's, not the shell's
  printf 'include debian/rules\nec-print-flags:\n\t@echo $(OVMF_4M_FLAGS)\n' |
    make --no-print-directory -s -C "$EDK2_SRC" -f - ec-print-flags
}

# EDK II's build for X64 with GCC5, RELEASE, two threads, its output in LOG;
# prints its wall and CPU time.
edk2_build() {
  local workspace=$1 dsc=$2 log=$3
  shift 3
  local TIMEFORMAT="EDK II: build -p $dsc $*: %R s wall, %U s user + %S s system CPU"
  time (edk2_enter "$workspace" &&
    build -p "$dsc" -a X64 -t GCC5 -b RELEASE -n 2 "$@" >"$log" 2>&1) ||
    { tail -n 40 "$log" >&2 || true; echo "EDK II: build failed, log in $log" >&2; return 1; }
}
