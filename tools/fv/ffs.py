# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Firmware file system (FFS) files for the DXE firmware volume.

Writes a driver file (EFI_FV_FILETYPE_DRIVER) from its sections and reads one
back. Only the small-file header (24 bytes, files below 16 MiB) is handled:
neither driver comes near that size.

The DXE core checks the header checksum of every file in the volume before it
looks at any of them; one bad header stops the whole boot, so the reader here
is as strict as the firmware is.
"""

import dataclasses
import struct
import uuid

EFI_FV_FILETYPE_DRIVER = 0x07

EFI_SECTION_PE32 = 0x10
EFI_SECTION_DXE_DEPEX = 0x13
EFI_SECTION_VERSION = 0x14
EFI_SECTION_USER_INTERFACE = 0x15

# Dependency expression opcodes.
DEPEX_PUSH = 0x02
DEPEX_AND = 0x03
DEPEX_TRUE = 0x06
DEPEX_END = 0x08

FILE_HEADER_SIZE = 24
SECTION_HEADER_SIZE = 4
SECTION_ALIGNMENT = 4
MAX_SIZE = 0xFFFFFF  # a 24-bit size field; larger files need the extended header

# Header layout: name GUID, header checksum, file checksum, type, attributes,
# 24-bit size, state.
_HEADER = struct.Struct("<16sBBBB3sB")
_HEADER_CHECKSUM_AT = 16
_FILE_CHECKSUM_AT = 17
STATE_AT = 23

FFS_ATTRIB_LARGE_FILE = 0x01
FFS_ATTRIB_CHECKSUM = 0x40
# Without FFS_ATTRIB_CHECKSUM the file checksum byte holds this fixed value.
FFS_FIXED_CHECKSUM = 0xAA
# A standalone file, as EDK II's GenFfs writes it: HEADER_CONSTRUCTION,
# HEADER_VALID and DATA_VALID set. The state bits are written as flash
# programs them, so a volume of erase polarity 1 (erased bytes 0xFF) stores
# the inverse; volume.in_volume() turns one form into the other, as GenFv
# does when it places a file.
EFI_FILE_STATE_STANDALONE = 0x07


@dataclasses.dataclass(frozen=True)
class Section:
    type: int
    body: bytes
    offset: int  # of the section header, from the start of the file


@dataclasses.dataclass(frozen=True)
class FfsFile:
    guid: uuid.UUID
    type: int
    attributes: int
    state: int
    size: int
    sections: list


def depex(*protocol_guids: uuid.UUID) -> bytes:
    """A DXE dependency expression: all the protocols, or TRUE without any."""
    if not protocol_guids:
        return bytes([DEPEX_TRUE, DEPEX_END])
    out = bytearray()
    for index, guid in enumerate(protocol_guids):
        out += bytes([DEPEX_PUSH]) + guid.bytes_le
        if index:
            out.append(DEPEX_AND)
    out.append(DEPEX_END)
    return bytes(out)


def _size24(size: int) -> bytes:
    if size > MAX_SIZE:
        raise ValueError(f"size {size:#x} does not fit a 24-bit size field")
    return size.to_bytes(3, "little")


def section(section_type: int, body: bytes) -> bytes:
    """A leaf section: the common 4-byte header and the body, unpadded."""
    return _size24(SECTION_HEADER_SIZE + len(body)) + bytes([section_type]) + body


def _align(offset: int) -> int:
    return -offset % SECTION_ALIGNMENT


def header_checksum(header: bytes) -> int:
    """The value that makes the header sum to zero, with both checksum bytes
    and the state byte counted as zero."""
    counted = bytearray(header[:FILE_HEADER_SIZE])
    for at in (_HEADER_CHECKSUM_AT, _FILE_CHECKSUM_AT, STATE_AT):
        counted[at] = 0
    return -sum(counted) & 0xFF


def ffs_file(file_guid: uuid.UUID, file_type: int, sections: list) -> bytes:
    """A standalone file with the given sections, each starting 4-byte aligned."""
    data = bytearray()
    for raw in sections:
        data += bytes(_align(FILE_HEADER_SIZE + len(data)))
        data += raw
    header = bytearray(
        _HEADER.pack(file_guid.bytes_le, 0, FFS_FIXED_CHECKSUM, file_type, 0,
                     _size24(FILE_HEADER_SIZE + len(data)), EFI_FILE_STATE_STANDALONE))
    header[_HEADER_CHECKSUM_AT] = header_checksum(header)
    return bytes(header + data)


def _ucs2z(text: str) -> bytes:
    return text.encode("utf-16-le") + b"\0\0"


def driver_file(file_guid: uuid.UUID, name: str, pe32: bytes, depex_bytes: bytes,
                version: str | None = None) -> bytes:
    """A DXE driver file: dependency, the image unchanged, its name and, if
    given, a version string (build number 0)."""
    if pe32[:2] != b"MZ":
        raise ValueError("the PE32 section must hold a PE image (no MZ signature)")
    sections = [
        section(EFI_SECTION_DXE_DEPEX, depex_bytes),
        section(EFI_SECTION_PE32, pe32),
        section(EFI_SECTION_USER_INTERFACE, _ucs2z(name)),
    ]
    if version is not None:
        sections.append(section(EFI_SECTION_VERSION, struct.pack("<H", 0) + _ucs2z(version)))
    return ffs_file(file_guid, EFI_FV_FILETYPE_DRIVER, sections)


def _parse_sections(data: bytes, size: int) -> list:
    sections = []
    offset = FILE_HEADER_SIZE
    while offset < size:
        offset += _align(offset)
        if offset + SECTION_HEADER_SIZE > size:
            raise ValueError(f"section header at {offset:#x} runs past the file end {size:#x}")
        length = int.from_bytes(data[offset:offset + 3], "little")
        if length < SECTION_HEADER_SIZE or offset + length > size:
            raise ValueError(f"section at {offset:#x} has a bad size {length:#x}")
        body = bytes(data[offset + SECTION_HEADER_SIZE:offset + length])
        sections.append(Section(data[offset + 3], body, offset))
        offset += length
    return sections


def read_header(data: bytes, offset: int = 0) -> tuple:
    """(name GUID, file checksum, type, attributes, size, state) of the header
    at offset; raises ValueError unless its header checksum holds."""
    name, checksum, file_checksum, file_type, attributes, size3, state = \
        _HEADER.unpack_from(data, offset)
    expected = header_checksum(data[offset:offset + FILE_HEADER_SIZE])
    if checksum != expected:
        raise ValueError(f"header checksum {checksum:#04x}, expected {expected:#04x}")
    return (uuid.UUID(bytes_le=name), file_checksum, file_type, attributes,
            int.from_bytes(size3, "little"), state)


def parse_ffs(data: bytes) -> FfsFile:
    """Reads a file that starts at data[0]; bytes after its size are ignored
    (the next file of a volume). Raises ValueError on any damage."""
    if len(data) < FILE_HEADER_SIZE:
        raise ValueError(f"{len(data)} bytes: shorter than a file header")
    guid, file_checksum, file_type, attributes, size, state = read_header(data)
    if attributes & FFS_ATTRIB_LARGE_FILE:
        raise ValueError("a file with the extended (large file) header")
    if size < FILE_HEADER_SIZE or size > len(data):
        raise ValueError(f"file size {size:#x} does not fit the {len(data):#x} bytes given")
    if attributes & FFS_ATTRIB_CHECKSUM:
        if (sum(data[FILE_HEADER_SIZE:size]) + file_checksum) & 0xFF:
            raise ValueError("file data checksum does not sum to zero")
    elif file_checksum != FFS_FIXED_CHECKSUM:
        raise ValueError(f"file checksum {file_checksum:#04x} without the checksum attribute")
    return FfsFile(guid, file_type, attributes, state, size, _parse_sections(data, size))
