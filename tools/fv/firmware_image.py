# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Adds firmware files to the DXE volume of a firmware image.

The image's top volume holds one FV_IMAGE file whose only section is an
LZMA GUID-defined section; decompressed, it is a list of sections, two of
which are the PEI and DXE volumes. New files go into the DXE volume's erased
tail, so no volume changes length and the decompressed size stays the same;
the FV_IMAGE file is then written again around the recompressed data.
"""

import ffs
import lzma_section
from pe_driver import driver_problem
from volume import (FILE_ALIGNMENT, FILETYPE_FIRMWARE_VOLUME_IMAGE,
                    SECTION_FIRMWARE_VOLUME_IMAGE, SECTION_GUID_DEFINED, FormatError, Volume,
                    align, in_volume, parse_file, sections)

FILETYPE_DXE_CORE = 0x05
DATA_ALIGNMENT_BITS = 0x38


class Refusal(Exception):
    """The image cannot be made; the text says why in one line."""


class Report:
    """What a build did, for the tool's summary line and the tests."""

    def __init__(self):
        self.compressed_before = self.compressed_after = 0
        self.added = []            # FILE GUIDs, in order
        self.dxe_free_after = 0


def top_volumes(image):
    at = 0
    while at < len(image):
        volume = Volume(image, at, "firmware image")
        yield volume
        at = volume.end


def compressed_volume_file(image):
    """The top volume, the offset of its FV_IMAGE file, that file, and the
    body of its compressed section."""
    for volume in top_volumes(image):
        for at, header in volume.files():
            if header.type != FILETYPE_FIRMWARE_VOLUME_IMAGE:
                continue
            file = header.parse()
            if len(file.sections) == 1 and file.sections[0].type == SECTION_GUID_DEFINED:
                return volume, at, file, file.sections[0].body
    raise FormatError("firmware image: no FV_IMAGE file with a compressed section")


def dxe_volume(raw):
    """The inner volume that holds the DXE core."""
    for at, section_type, _ in sections(raw, 0, len(raw), "compressed volumes"):
        if section_type == SECTION_FIRMWARE_VOLUME_IMAGE:
            volume = Volume(raw, at + ffs.SECTION_HEADER_SIZE, "inner volume")
            if any(f.type == FILETYPE_DXE_CORE for _, f in volume.files()):
                return volume
    raise FormatError("compressed volumes: no volume holds the DXE core")


def check_new_file(source, data, erased, present):
    """Parses one standalone FFS file to be added; returns its FILE GUID and
    its bytes as the volume stores them."""
    try:
        file = parse_file(data, source)
    except FormatError as error:
        raise Refusal(str(error)) from None
    name = f"{source} (file {str(file.guid).upper()})"
    pe32 = [s for s in file.sections if s.type == ffs.EFI_SECTION_PE32]
    if align(file.size, FILE_ALIGNMENT) != align(len(data), FILE_ALIGNMENT):
        raise Refusal(f"{name}: {len(data)} bytes, its header says {file.size}")
    if file.type != ffs.EFI_FV_FILETYPE_DRIVER:
        raise Refusal(f"{name}: type {file.type:#04x}, not a DXE driver (0x07)")
    if file.state != ffs.EFI_FILE_STATE_STANDALONE:
        raise Refusal(f"{name}: state {file.state:#04x}, not a standalone file's "
                      f"({ffs.EFI_FILE_STATE_STANDALONE:#04x}, as GenFfs writes it)")
    if file.attributes & DATA_ALIGNMENT_BITS:
        raise Refusal(f"{name}: asks for data alignment, which this tool does not place")
    if len(pe32) != 1:
        raise Refusal(f"{name}: {len(pe32)} PE32 sections, expected 1")
    problem = driver_problem(pe32[0].body)
    if problem:
        raise Refusal(f"{name}: the PE32 section is {problem}")
    if file.guid in present:
        raise Refusal(f"{name}: FILE GUID already present")
    present.add(file.guid)
    return file.guid, in_volume(data[:file.size], erased)


def add_files(image, new_files):
    """The image with new_files ((name, FFS file bytes) pairs) in its DXE volume, and a Report."""
    report = Report()
    try:
        top, outer_at, outer, body = compressed_volume_file(image)
        raw, props, dictionary = lzma_section.decompress(body)
        dxe = dxe_volume(raw)
        present = {f.guid for _, f in dxe.files()}
        at = dxe.free_offset()
    except FormatError as error:
        raise Refusal(str(error)) from None
    report.compressed_before = len(body)

    raw = bytearray(raw)
    for source, data in new_files:
        guid, data = check_new_file(source, data, dxe.erased, present)
        end = at + len(data)
        if end > dxe.length:
            raise Refusal(f"DXE volume has no room for {source}: "
                          f"{len(data)} bytes, {max(0, dxe.length - at)} free")
        raw[dxe.offset + at:dxe.offset + end] = data
        report.added.append(guid)
        at = align(end, FILE_ALIGNMENT)
    report.dxe_free_after = max(0, dxe.length - at)

    body = lzma_section.guid_defined_body(bytes(raw), props, dictionary)
    rebuilt = in_volume(ffs.ffs_file(outer.guid, FILETYPE_FIRMWARE_VOLUME_IMAGE,
                                     [ffs.section(SECTION_GUID_DEFINED, body)]), top.erased)
    report.compressed_after = len(body)
    if any(at > outer_at for at, _ in top.files()):
        raise Refusal("firmware image: files follow the FV_IMAGE file; they would move")
    if outer_at + len(rebuilt) > top.end:
        raise Refusal(f"firmware image: the recompressed volumes need {len(rebuilt)} bytes, "
                      f"the top volume has {top.end - outer_at}")
    result = bytearray(image)
    result[outer_at:top.end] = rebuilt + bytes([top.erased]) * (top.end - outer_at - len(rebuilt))
    return bytes(result), report


def dxe_files(image):
    """(offset in the DXE volume, volume.FileHeader) of its files, read again from the image."""
    _, _, _, body = compressed_volume_file(image)
    raw, _, _ = lzma_section.decompress(body)
    volume = dxe_volume(raw)
    return [(at - volume.offset, header) for at, header in volume.files()]
