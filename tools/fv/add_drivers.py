#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Writes a firmware image whose DXE volume also holds the given FFS files.

usage: add_drivers.py [--base CODE.fd] --output OUT.fd FILE.ffs...

The FFS files are in EDK II's standalone form (state 0x07, as GenFfs writes
them); like GenFv, the tool stores each one's state inverted in a volume of
erase polarity 1. The output has the base image's size. On any refusal (a
base image or a file that does not parse, a file not in the standalone form,
no room, a file that is not an x86-64 boot-service driver, a FILE GUID
already present) it prints one line and writes nothing.
"""

import argparse
import os
import sys
import tempfile
import time

from firmware_image import Refusal, add_files, dxe_files

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.fd"


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as error:
        raise Refusal(f"{path}: {error.strerror}") from None


def write_atomically(path, data):
    """A partial image must never be left where a boot would take it."""
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".add_drivers-")
    try:
        with os.fdopen(handle, "wb") as f:
            f.write(data)
        os.chmod(temporary, 0o644)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def build(base, output, files):
    """Builds and writes the image; returns the Report. Raises Refusal."""
    image = read(base)
    result, report = add_files(image, [(path, read(path)) for path in files])
    # Read back what a boot would read before anything is written.
    present = {header.guid for _, header in dxe_files(result)}
    missing = [guid for guid in report.added if guid not in present]
    if missing:
        raise Refusal(f"the image read back lacks {', '.join(str(g).upper() for g in missing)}")
    write_atomically(output, result)
    return report


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--base", default=OVMF_CODE, help=f"firmware image (default {OVMF_CODE})")
    parser.add_argument("--output", required=True)
    parser.add_argument("files", nargs="+", metavar="FILE.ffs")
    args = parser.parse_args(argv)
    start = time.monotonic()
    try:
        report = build(args.base, args.output, args.files)
    except Refusal as refusal:
        print(f"add_drivers: refused: {refusal}; nothing written", file=sys.stderr)
        return 1
    print(f"add_drivers: {args.output}: {len(report.added)} files added to the DXE volume, "
          f"compressed section {report.compressed_before:,} -> {report.compressed_after:,} bytes, "
          f"{report.dxe_free_after:,} bytes left free, {time.monotonic() - start:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
