#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Writes the EDK II workspaces the builds run in, from the guide's lines.

usage: platforms.py minimal WORKSPACE IMAGE_DIR
       platforms.py ovmf WORKSPACE EDK2_SRC

"minimal" takes the binary route: the drivers' .efi, .depex and .inf where
the guide's DSC lines name them, in a platform of our own whose one firmware
volume holds only the two drivers. "ovmf" takes the source route: the
package (firmware/) in the workspace and copies of OvmfPkgX64.dsc and .fdf
with the guide's source lines added (both drivers and the trigger sample).
A file is only rewritten when its bytes change, so EDK II's incremental
build sees an unchanged input as unchanged.
"""

import pathlib
import re
import sys

import guide

HERE = pathlib.Path(__file__).resolve().parent
TOOLS_FV = HERE.parents[1] / "tools" / "fv"
sys.path.insert(0, str(TOOLS_FV))

import modules  # noqa: E402

PACKAGE = HERE.parents[1] / "firmware"

MINIMAL_DIR = "EcMinimal"
MINIMAL_GUID = "5A0E9C47-2B1D-4F3E-9C6A-8D7B1E2F3A41"
MINIMAL_FV_GUID = "6B1FAD58-3C2E-4A4F-8D7B-9E8C2F3A4B52"
# The volume gets a 64 KiB flash device of its own: both drivers need 8 KiB.
MINIMAL_FLASH_BASE = 0xFFFF0000
MINIMAL_FLASH_SIZE = 0x10000
FLASH_BLOCK = 0x1000

OVMF_DIR = "EcOvmf"
OVMF_DSC = "OvmfPkg/OvmfPkgX64.dsc"
OVMF_FDF = "OvmfPkg/OvmfPkgX64.fdf"
# The DXE volume's last line: our files follow everything OVMF puts in it.
OVMF_DXE_LAST = "!include OvmfPkg/OvmfTpmDxe.fdf.inc"


def put(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    if not path.is_file() or path.read_bytes() != data:
        path.write_bytes(data)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def put_drivers(workspace, image_dir, dsc_block):
    """The drivers' files next to the INF paths the guide names."""
    for inf_path in guide.module_paths(dsc_block):
        name = pathlib.PurePosixPath(inf_path).stem
        if name not in modules.MODULES:
            raise SystemExit(f"platforms: the guide names {inf_path}, no module of ours")
        for suffix in (".efi", ".depex", ".inf"):
            put((workspace / inf_path).with_suffix(suffix),
                (image_dir / f"{name}{suffix}").read_bytes())


def put_package(workspace):
    """The package's files at the workspace's root, where PACKAGES_PATH
    finds the folder the guide's lines name."""
    for path in PACKAGE.rglob("*"):
        if path.is_file():
            put(workspace / PACKAGE.name / path.relative_to(PACKAGE), path.read_bytes())


def minimal(workspace, image_dir):
    lines = guide.blocks()
    put_drivers(workspace, image_dir, lines["dsc"])
    blocks = MINIMAL_FLASH_SIZE // FLASH_BLOCK
    dsc = f"""\
## @file
#  One firmware volume holding only the two prebuilt EC drivers.
##

[Defines]
  PLATFORM_NAME           = EcMinimal
  PLATFORM_GUID           = {MINIMAL_GUID}
  PLATFORM_VERSION        = 0.1
  DSC_SPECIFICATION       = 0x00010005
  OUTPUT_DIRECTORY        = Build/EcMinimal
  SUPPORTED_ARCHITECTURES = X64
  BUILD_TARGETS           = RELEASE
  SKUID_IDENTIFIER        = DEFAULT
  FLASH_DEFINITION        = {MINIMAL_DIR}/EcMinimal.fdf

{lines["dsc"]}"""
    fdf = f"""\
## @file
#  One flash device, one volume, erase polarity 1 as on a real flash part.
##

[FD.EcMinimal]
BaseAddress   = {MINIMAL_FLASH_BASE:#010x}
Size          = {MINIMAL_FLASH_SIZE:#x}
ErasePolarity = 1
BlockSize     = {FLASH_BLOCK:#x}
NumBlocks     = {blocks:#x}

0x00000000|{MINIMAL_FLASH_SIZE:#x}
FV = DXEFV

[FV.DXEFV]
FvNameGuid         = {MINIMAL_FV_GUID}
BlockSize          = {FLASH_BLOCK:#x}
{lines["no_rebase"]}FvAlignment        = 16
ERASE_POLARITY     = 1
MEMORY_MAPPED      = TRUE
STICKY_WRITE       = TRUE
LOCK_CAP           = TRUE
LOCK_STATUS        = TRUE
WRITE_DISABLED_CAP = TRUE
WRITE_ENABLED_CAP  = TRUE
WRITE_STATUS       = TRUE
WRITE_LOCK_CAP     = TRUE
WRITE_LOCK_STATUS  = TRUE
READ_DISABLED_CAP  = TRUE
READ_ENABLED_CAP   = TRUE
READ_STATUS        = TRUE
READ_LOCK_CAP      = TRUE
READ_LOCK_STATUS   = TRUE

{lines["fdf"]}
{lines["rule"]}"""
    put(workspace / MINIMAL_DIR / "EcMinimal.dsc", dsc.encode())
    put(workspace / MINIMAL_DIR / "EcMinimal.fdf", fdf.encode())


def inserted_after(text, marker, addition, what):
    """text (CRLF) with addition after the one line equal to marker."""
    lines = text.split("\r\n")
    at = [n for n, line in enumerate(lines) if line.strip() == marker]
    if len(at) != 1:
        raise SystemExit(f"platforms: {what}: {len(at)} lines read '{marker}'")
    return "\r\n".join(lines[:at[0] + 1] + crlf(addition).split("\r\n") + lines[at[0] + 1:])


def ovmf(workspace, edk2_src):
    lines = guide.source_blocks()
    put_package(workspace)
    dsc = (edk2_src / OVMF_DSC).read_bytes().decode()
    fdf = (edk2_src / OVMF_FDF).read_bytes().decode()
    # The copy lives outside OvmfPkg: its includes named relative to the
    # original's folder get the package's path.
    fdf = re.sub(r"^!include (?![\w$()]+/)", "!include OvmfPkg/", fdf, flags=re.MULTILINE)
    ours_fdf = f"{OVMF_DIR}/{pathlib.PurePosixPath(OVMF_FDF).name}"
    dsc = dsc.replace(f"= {OVMF_FDF}\r\n", f"= {ours_fdf}\r\n", 1)
    if ours_fdf not in dsc:
        raise SystemExit(f"platforms: {OVMF_DSC} names no FLASH_DEFINITION {OVMF_FDF}")
    # The guide's [Components.X64] lines close the DSC; OVMF's own rule for
    # DXE drivers builds their files.
    dsc += crlf(f"\n{lines['dsc']}")
    fdf = inserted_after(fdf, OVMF_DXE_LAST, f"\n{lines['fdf']}", OVMF_FDF)
    put(workspace / OVMF_DIR / pathlib.PurePosixPath(OVMF_DSC).name, dsc.encode())
    put(workspace / ours_fdf, fdf.encode())


def main(argv):
    if len(argv) == 4 and argv[1] == "minimal":
        minimal(pathlib.Path(argv[2]), pathlib.Path(argv[3]))
    elif len(argv) == 4 and argv[1] == "ovmf":
        ovmf(pathlib.Path(argv[2]), pathlib.Path(argv[3]))
    else:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
