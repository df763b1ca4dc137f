#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Prints the path of the firmware rig's qemu-system-x86_64: Debian's QEMU 7.2
# built for x86-64 TCG with the q35 board and the ec-model device only. The
# first call on a machine builds it (a few minutes); later calls print the
# cached path. The cache key is the Debian source version and a hash of the
# device's sources, the EC model interface and the port-log record they
# include, the device list and this script, so changing any of them builds a
# new binary, while the build tree is kept per Debian version and only
# rebuilds what changed.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
CACHE=${EC_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ec-drivers}

# Everything that goes into hw/misc/ beside QEMU's own devices.
DEVICE_SOURCES=("$HERE/ec_model_device.c" "$HERE/ec_model_link.c" "$HERE/ec_model_link.h"
  "$HERE/port_log_record.h" "$ROOT/sim/ec_model_api.h")
DEVICE_LIST=$HERE/devices.mak
DEVICE_LIST_NAME=ec-rig
BINARY=qemu-system-x86_64

# Option ROMs and the VGA BIOS the binary loads at run time (kvmvapic.bin,
# vgabios-stdvga.bin): taken from Debian's qemu-system-data and seabios
# (tools/setup.sh's "rig" purpose) through the firmware path.
FIRMWARE_PATH=/usr/share/qemu:/usr/share/seabios

# Everything optional is off (--without-default-features turns every "auto"
# feature off); vvfat is back on for -drive file=fat:rw:DIR (with qcow, the
# format its rw mode keeps the guest's writes in), and libfdt,
# which the x86-64 target requires whatever boards it has, comes from the
# system rather than a bundled copy.
CONFIGURE_FLAGS=(
  --target-list=x86_64-softmmu --without-default-features --without-default-devices
  --with-devices-x86_64="$DEVICE_LIST_NAME" --enable-tcg --disable-kvm --disable-xen
  --disable-user --disable-tools --disable-docs --disable-guest-agent --disable-install-blobs
  --enable-vvfat --enable-qcow1 --enable-fdt=system --enable-trace-backends=nop --disable-debug-info
  --firmwarepath="$FIRMWARE_PATH"
)

KCONFIG_ENTRY='
config EC_MODEL
    bool
    depends on ISA_BUS
'
MESON_ENTRY="softmmu_ss.add(when: 'CONFIG_EC_MODEL', if_true: files('ec_model_device.c', 'ec_model_link.c'))"

# install_if_changed SOURCE DEST: keeps DEST's time stamp when nothing changed,
# so the kept build tree rebuilds only what did.
install_if_changed() {
  cmp -s "$1" "$2" || cp "$1" "$2"
}

# The per-version work tree: our own copy of Debian's patched source (the
# shared tree fetched by debian_source.sh is never written) and its build.
prepare_source() {
  local work=$1 tree
  if [[ ! -f "$work/src/.copied" ]]; then
    rm -rf "$work"
    mkdir -p "$work"
    tree=$("$ROOT/tools/debian_source.sh" fetch qemu "$CACHE/src/qemu")
    cp -a "$tree" "$work/src.partial"
    cp "$work/src.partial/hw/misc/Kconfig" "$work/src.partial/hw/misc/Kconfig.debian"
    cp "$work/src.partial/hw/misc/meson.build" "$work/src.partial/hw/misc/meson.build.debian"
    touch "$work/src.partial/.copied"
    mv "$work/src.partial" "$work/src"
  fi
  local src=$work/src file
  for file in "${DEVICE_SOURCES[@]}"; do
    install_if_changed "$file" "$src/hw/misc/${file##*/}"
  done
  install_if_changed "$DEVICE_LIST" "$src/configs/devices/x86_64-softmmu/$DEVICE_LIST_NAME.mak"
  { cat "$src/hw/misc/Kconfig.debian" && printf '%s' "$KCONFIG_ENTRY"; } >"$work/Kconfig"
  { cat "$src/hw/misc/meson.build.debian" && printf '%s\n' "$MESON_ENTRY"; } >"$work/meson.build"
  install_if_changed "$work/Kconfig" "$src/hw/misc/Kconfig"
  install_if_changed "$work/meson.build" "$src/hw/misc/meson.build"
}

configure_build() {
  local work=$1 flags
  flags=$(printf '%s\n' "${CONFIGURE_FLAGS[@]}")
  if [[ -f "$work/build/build.ninja" && "$(cat "$work/build/.flags" 2>/dev/null)" == "$flags" ]]; then
    return 0
  fi
  rm -rf "$work/build"
  mkdir -p "$work/build"
  (cd "$work/build" && ../src/configure "${CONFIGURE_FLAGS[@]}")
  printf '%s' "$flags" >"$work/build/.flags"
}

# QEMU's own sources build without -Werror; ours must not warn. The object
# goes, so the next build compiles it again instead of linking it.
refuse_device_warnings() {
  local work=$1 log=$2
  if grep -q -E 'ec_model_(device|link)\.c:[0-9]*:[0-9]*: warning' "$log"; then
    find "$work/build" -name '*ec_model_*.c.o' -delete
    echo "the ec-model device compiles with warnings" >&2
    return 1
  fi
}

build() {
  local work=$1 dest=$2 log=$3 start end times stage objects steps
  start=$(date +%s.%N)
  prepare_source "$work"
  configure_build "$work"
  ninja -C "$work/build" -j2 "$BINARY"
  refuse_device_warnings "$work" "$log"
  end=$(date +%s.%N)
  # CPU time of this shell's children (configure, the compilers, the
  # linker); times runs in this shell, not in a pipe's subshell.
  times >"$work/times"
  times=$(tail -n 1 "$work/times")
  objects=$(find "$work/build" -name '*.o' | wc -l)
  steps=$(grep -c '^\[[0-9]*/[0-9]*\]' "$log" || true)
  stage=$(mktemp -d "$CACHE/qemu/.install.XXXXXX")
  mkdir "$stage/bin"
  cp "$work/build/$BINARY" "$stage/bin/$BINARY"
  {
    echo "debian source  $(head -n 1 "$work/src/debian/changelog")"
    echo "wall seconds   $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')"
    echo "children cpu   $times (user system)"
    echo "objects        $objects in the build tree"
    echo "ninja steps    $steps in this build"
  } >"$stage/build-info.txt"
  mv -T "$stage" "$dest"
}

main() {
  "$ROOT/tools/setup.sh" rig
  local version key dest work log
  version=$("$ROOT/tools/debian_source.sh" version qemu)
  [[ -n "$version" ]] || { echo "no Debian source version for qemu" >&2; exit 1; }
  version=${version//[:~]/_}
  key=$(cat "${DEVICE_SOURCES[@]}" "$DEVICE_LIST" "${BASH_SOURCE[0]}" | sha256sum | cut -c1-16)
  dest=$CACHE/qemu/$version-$key
  if [[ ! -x "$dest/bin/$BINARY" ]]; then
    mkdir -p "$CACHE/qemu"
    work=$CACHE/qemu/work-$version
    log=$CACHE/qemu/work-$version.log
    exec 9>"$work.lock"
    flock 9
    if [[ ! -x "$dest/bin/$BINARY" ]]; then
      echo "building the rig's QEMU (once per machine, about 6 minutes; log: $log) ..." >&2
      # In the background, so errexit holds inside build (an if condition
      # would switch it off there).
      (build "$work" "$dest" "$log") >"$log" 2>&1 &
      if ! wait $!; then
        tail -n 60 "$log" >&2
        echo "building the rig's QEMU failed; the whole log: $log" >&2
        exit 1
      fi
    fi
    exec 9>&-
  fi
  echo "$dest/bin/$BINARY"
}

main "$@"
