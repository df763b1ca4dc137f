#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Writes a driver's firmware-volume module next to its image: NAME.depex,
NAME.ffs (the DXE driver file) and NAME.inf (the EDK II binary module).

Usage: make_module.py NAME IMAGE.efi OUT_DIR [--version TEXT]
NAME is a module of tools/fv/modules.py; its FILE GUID and dependency
expression come from there.
"""

import argparse
import pathlib
import sys

import ffs
import inf
import modules


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("name", choices=sorted(modules.MODULES))
    parser.add_argument("image", type=pathlib.Path)
    parser.add_argument("out_dir", type=pathlib.Path)
    parser.add_argument("--version", help="adds a version section with this text")
    args = parser.parse_args()

    module = modules.MODULES[args.name]
    depex = ffs.depex(*module.depex)
    try:
        driver = ffs.driver_file(module.file_guid, module.name, args.image.read_bytes(), depex,
                                 args.version)
    except (OSError, ValueError) as error:
        print(f"make_module: {args.image}: {error}", file=sys.stderr)
        return 1
    out = args.out_dir / module.name
    out.with_suffix(".depex").write_bytes(depex)
    out.with_suffix(".ffs").write_bytes(driver)
    out.with_suffix(".inf").write_text(inf.render_inf(module))
    return 0


if __name__ == "__main__":
    sys.exit(main())
