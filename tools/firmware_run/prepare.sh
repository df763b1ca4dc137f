# SPDX-License-Identifier: BSD-2-Clause-Patent
# Sourced by ./run firmware and the QEMU test scripts: builds the driver
# images, the test application and the EC model when they are missing (the
# packages they need through tools/setup.sh). Expects ROOT (the repository).

QEMU_IMAGE_DIR="$ROOT/build/image"

ensure_images() {
  local image
  for image in ec_flash_updater.efi ec_threshold_guard.efi setup_tool.efi ec_trigger_sample.efi setup_lock_driver.efi \
    ec_flash_updater.ffs ec_threshold_guard.ffs; do
    if [[ ! -f "$QEMU_IMAGE_DIR/$image" ]]; then
      "$ROOT/tools/setup.sh" build || return 1
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
    "$ROOT/tools/setup.sh" build || return 1
    (cd "$ROOT" && cmake --preset host >/dev/null &&
      cmake --build --preset host --target ec_model ec_port_log ec_run) || return 1
  fi
}
