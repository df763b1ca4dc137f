# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Checks that a PE32 section holds an x86-64 EFI boot-service driver.

The DXE core starts any PE32 file it finds; an application or a 32-bit image
dropped into the volume would run in the wrong role or not at all.
"""

import struct

MACHINE_X64 = 0x8664
PE32_PLUS = 0x20B
SUBSYSTEM_BOOT_SERVICE_DRIVER = 11
PE_OFFSET_AT = 0x3C
OPTIONAL_HEADER_AT = 24       # after "PE\0\0" and the file header
SUBSYSTEM_AT = 68             # in the PE32+ optional header


def driver_problem(image):
    """None for an x86-64 boot-service driver, else what is wrong."""
    if len(image) < PE_OFFSET_AT + 4 or image[:2] != b"MZ":
        return "not a PE image (no MZ header)"
    pe = struct.unpack_from("<I", image, PE_OFFSET_AT)[0]
    optional = pe + OPTIONAL_HEADER_AT
    if len(image) < optional + SUBSYSTEM_AT + 2 or image[pe:pe + 4] != b"PE\0\0":
        return "not a PE image (no PE signature)"
    machine = struct.unpack_from("<H", image, pe + 4)[0]
    magic = struct.unpack_from("<H", image, optional)[0]
    subsystem = struct.unpack_from("<H", image, optional + SUBSYSTEM_AT)[0]
    if machine != MACHINE_X64 or magic != PE32_PLUS:
        return f"not an x86-64 PE32+ image (machine {machine:#06x}, magic {magic:#x})"
    if subsystem != SUBSYSTEM_BOOT_SERVICE_DRIVER:
        return f"not an EFI boot-service driver (subsystem {subsystem})"
    return None
