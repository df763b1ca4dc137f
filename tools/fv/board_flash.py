#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Writes a 16 MiB boot flash laid out as a board's: the EC image where the
chipset maps 0xFF660000, the firmware (variable store, then code volume) in
the top 4 MiB, erased flash (0xFF) everywhere else.

usage: board_flash.py --output BOARD.bin --code CODE.fd [--ec-image EC.bin]
                      [--vars VARS.fd] [--flash-image BOARD_IN.bin]

--code is a firmware code volume (for example add_drivers.py's output).
--flash-image starts from an integrator's own 16 MiB image: its EC region and
everything below the top 4 MiB are kept, the top 4 MiB are replaced.
"""

import argparse
import sys

from add_drivers import read
from firmware_image import Refusal
from varstore import scan

FLASH_SIZE = 16 << 20
FIRMWARE_SIZE = 4 << 20            # the top 4 MiB: variable store + code volume
FIRMWARE_AT = FLASH_SIZE - FIRMWARE_SIZE
# The flash's last byte is at 4 GiB - 1, so 0xFF660000 is this file offset.
FLASH_ADDRESS = (1 << 32) - FLASH_SIZE
EC_IMAGE_ADDRESS = 0xFF660000
EC_IMAGE_AT = EC_IMAGE_ADDRESS - FLASH_ADDRESS
EC_IMAGE_SIZE = 0x20000
ERASED = 0xFF
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"


def layout(code, variables, ec_image=None, base=None, ec_address=EC_IMAGE_ADDRESS):
    """The flash's bytes, and what was taken from where (lines for the user).
    ec_address: where the updater was built to read the EC image."""
    ec_at = ec_address - FLASH_ADDRESS
    if ec_at < 0 or ec_at + EC_IMAGE_SIZE > FIRMWARE_AT:
        raise Refusal(f"the EC image at {ec_address:#x} does not lie in the board's flash "
                      f"below its firmware ({FLASH_ADDRESS:#x} to {FLASH_ADDRESS + FIRMWARE_AT:#x})")
    if len(variables) + len(code) != FIRMWARE_SIZE:
        raise Refusal(f"variable store ({len(variables):,} bytes) and code volume "
                      f"({len(code):,} bytes) do not fill the top {FIRMWARE_SIZE >> 20} MiB")
    if ec_image is not None and len(ec_image) != EC_IMAGE_SIZE:
        raise Refusal(f"the EC image is {len(ec_image):,} bytes, not {EC_IMAGE_SIZE:,}")
    notes = []
    if base is None:
        flash = bytearray([ERASED]) * FLASH_SIZE
        if ec_image is None:
            raise Refusal("no EC image and no flash image to take one from")
    else:
        if len(base) != FLASH_SIZE:
            raise Refusal(f"the flash image is {len(base):,} bytes, not {FLASH_SIZE:,}")
        flash = bytearray(base)
        notes.append(f"kept the flash image below {FIRMWARE_AT:#x}"
                     + ("" if ec_image else f", its EC image at {ec_at:#x} included")
                     + f"; replaced the top {FIRMWARE_SIZE >> 20} MiB")
    if ec_image is not None:
        flash[ec_at:ec_at + EC_IMAGE_SIZE] = ec_image
        notes.append(f"EC image at {ec_at:#x} ({ec_address:#x})")
    # No EC firmware is all 0xFF: the updater would copy that region into the
    # EC's flash, leaving an EC that cannot start, and report success.
    if flash[ec_at:ec_at + EC_IMAGE_SIZE].count(ERASED) == EC_IMAGE_SIZE:
        raise Refusal(f"the EC region at {ec_at:#x} ({ec_address:#x}) is erased "
                      "(all 0xFF); the updater would program that into the EC")
    flash[FIRMWARE_AT:FIRMWARE_AT + len(variables)] = variables
    flash[FIRMWARE_AT + len(variables):] = code
    notes.append(f"variable store at {FIRMWARE_AT:#x}, code volume at "
                 f"{FIRMWARE_AT + len(variables):#x}")
    return bytes(flash), notes


def build(output, code, ec_image=None, variables=OVMF_VARS, flash_image=None,
          ec_address=EC_IMAGE_ADDRESS):
    """Writes the flash from files; returns the notes. Raises Refusal."""
    flash, notes = layout(read(code), read(variables),
                          None if ec_image is None else read(ec_image),
                          None if flash_image is None else read(flash_image), ec_address)
    with open(output, "wb") as f:
        f.write(flash)
    return notes


def variable_store(flash):
    """The variable store's bytes inside a flash written by layout()."""
    return flash[FIRMWARE_AT:]


def read_variables(path):
    """The current variables of the store inside the flash file at path."""
    return scan(variable_store(read(path)), path)[0]


def ec_region(path):
    return read(path)[EC_IMAGE_AT:EC_IMAGE_AT + EC_IMAGE_SIZE]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", required=True)
    parser.add_argument("--code", required=True, help="firmware code volume")
    parser.add_argument("--ec-image", help="the 128 KiB EC image")
    parser.add_argument("--vars", default=OVMF_VARS, help=f"variable store (default {OVMF_VARS})")
    parser.add_argument("--flash-image", help="an integrator's 16 MiB image to start from")
    args = parser.parse_args(argv)
    try:
        notes = build(args.output, args.code, args.ec_image, args.vars, args.flash_image)
    except Refusal as refusal:
        print(f"board_flash: refused: {refusal}; nothing written", file=sys.stderr)
        return 1
    print(f"board_flash: {args.output}: " + "; ".join(notes))
    return 0


if __name__ == "__main__":
    sys.exit(main())
