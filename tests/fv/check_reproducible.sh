#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Builds the driver images and their modules twice, in two build folders of
# different names, at two different times, and requires identical .efi,
# .depex, .ffs and .inf files; then checks the release bundle's SHA256SUMS.
set -euo pipefail
cd "$(dirname "$0")/../.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folders=("$work/a" "$work/second-build-folder")

for folder in "${folders[@]}"; do
  cmake -S . -B "$folder" --toolchain cmake/efi-image-toolchain.cmake -G Ninja \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  # Only the shipped files; the release bundle needs nothing else.
  cmake --build "$folder" --target release >/dev/null
done

status=0
for file in ec_flash_updater ec_threshold_guard; do
  for suffix in efi depex ffs inf; do
    name=$file.$suffix
    if cmp -s "${folders[0]}/$name" "${folders[1]}/$name"; then
      printf '%-28s %6d bytes  identical  %s\n' "$name" "$(stat -c %s "${folders[0]}/$name")" \
        "$(sha256sum <"${folders[0]}/$name" | cut -c1-16)"
    else
      echo "DIFFERENT: $name" >&2
      cmp -l "${folders[0]}/$name" "${folders[1]}/$name" | head -5 >&2 || true
      status=1
    fi
  done
done
(cd "${folders[1]}/release" && sha256sum --quiet -c SHA256SUMS) || status=1
((status == 0)) && echo "release bundle: $(wc -l <"${folders[1]}/release/SHA256SUMS") files, SHA256SUMS verified"
exit $status
