# SPDX-License-Identifier: BSD-2-Clause-Patent
# Sourced by the QEMU test scripts: installs what they need from Debian when
# it is missing, and builds the driver images and the test application when
# they are missing. Expects ROOT (the repository) to be set.

QEMU_IMAGE_DIR="$ROOT/build/image"

# ensure_packages COMMAND_OR_FILE:PACKAGE...
ensure_packages() {
  local missing=() need what pkg
  for need in "$@"; do
    what=${need%%:*}
    pkg=${need#*:}
    if [[ "$what" == /* ]]; then
      [[ -e "$what" ]] || missing+=("$pkg")
    else
      command -v "$what" >/dev/null || missing+=("$pkg")
    fi
  done
  ((${#missing[@]} == 0)) && return 0
  echo "installing: ${missing[*]}"
  if ((EUID != 0)); then
    echo "missing packages and not root: apt-get install ${missing[*]}" >&2
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

ensure_qemu_packages() {
  ensure_packages qemu-system-x86_64:qemu-system-x86 /usr/share/OVMF/OVMF_CODE.fd:ovmf \
    /usr/share/OVMF/OVMF_CODE_4M.fd:ovmf /usr/share/OVMF/OVMF_VARS_4M.fd:ovmf \
    /usr/share/OVMF/OVMF_VARS.fd:ovmf python3:python3 mcopy:mtools
}

ensure_images() {
  local image
  for image in ec_flash_updater.efi ec_threshold_guard.efi setup_tool.efi ec_trigger_sample.efi setup_lock_driver.efi \
    ec_flash_updater.ffs ec_threshold_guard.ffs; do
    if [[ ! -f "$QEMU_IMAGE_DIR/$image" ]]; then
      ensure_packages cmake:cmake ninja:ninja-build clang++:clang lld-link:lld || return 1
      (cd "$ROOT" && cmake --preset image >/dev/null && cmake --build --preset image) || return 1
      return 0
    fi
  done
}

# The EC model the QEMU device loads, the port-log tool the checks use and
# ec_run, which checks ./run firmware's command line.
ensure_ec_model() {
  if [[ ! -f "$ROOT/build/host/sim/libec_model.so" || ! -x "$ROOT/build/host/tools/port_log/ec_port_log" ||
    ! -x "$ROOT/build/host/tools/ec_run/ec_run" ]]; then
    ensure_packages cmake:cmake ninja:ninja-build g++:g++ || return 1
    (cd "$ROOT" && cmake --preset host >/dev/null &&
      cmake --build --preset host --target ec_model ec_port_log ec_run) || return 1
  fi
}
