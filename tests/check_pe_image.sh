#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Checks a driver image's PE32+ headers: x86-64, EFI boot-service driver,
# the named entry point, base relocations, no imports.
set -euo pipefail
image=$1
entry=$2
fail() { echo "FAIL: $image: $*" >&2; exit 1; }

headers=$(llvm-readobj --file-headers "$image")
grep -q 'Format: COFF-x86-64' <<<"$headers" || fail "not a COFF x86-64 image"
grep -q 'Machine: IMAGE_FILE_MACHINE_AMD64 (0x8664)' <<<"$headers" || fail "machine is not x86-64"
grep -q 'Magic: 0x20B' <<<"$headers" || fail "not PE32+ (optional header magic 0x20B)"
grep -q 'Subsystem: IMAGE_SUBSYSTEM_EFI_BOOT_SERVICE_DRIVER (0xB)' <<<"$headers" ||
  fail "subsystem is not EFI boot service driver (11)"
grep -q 'IMAGE_FILE_RELOCS_STRIPPED' <<<"$headers" && fail "relocations stripped"

reloc_size=$(awk '/BaseRelocationTableSize/ {print $2}' <<<"$headers")
[[ "$reloc_size" != "0x0" ]] || fail "no base relocation table"
relocs=$(llvm-readobj --coff-basereloc "$image" | grep -c 'Type: DIR64' || true)
((relocs > 0)) || fail "base relocation table has no DIR64 entries"

import_size=$(awk '/ImportTableSize/ {print $2}' <<<"$headers")
[[ "$import_size" == "0x0" ]] || fail "image has imports"

entry_rva=$(awk '/AddressOfEntryPoint/ {print $2}' <<<"$headers")
map=${image%.efi}.map
[[ -f "$map" ]] || fail "link map $map missing"
entry_va=$(awk -v sym="$entry" '$2 == sym {print $3; exit}' "$map")
[[ -n "$entry_va" ]] || fail "entry symbol $entry not in the link map"
image_base=$(awk '/ImageBase/ {print $2}' <<<"$headers")
(( 16#${entry_va} - image_base == entry_rva )) || fail "entry point $entry_rva is not $entry"
echo "OK: $image ($(stat -c %s "$image") bytes, $relocs relocations, entry $entry at $entry_rva)"
