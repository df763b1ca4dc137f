# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Reads firmware volumes, the files in them and a list of sections.

Only what the image tool needs: volume headers (checked by their checksum),
the file list of a volume (each file parsed by ffs.py, as strictly as the
DXE core reads it) and a list of sections. Everything that does not parse
raises FormatError, whose text names the place.
"""

import struct

import ffs

VOLUME_SIGNATURE = b"_FVH"
VOLUME_HEADER = struct.Struct("<16s16sQ4sIHHHBB")  # zero vector .. revision (56 bytes)
EXT_HEADER_SIZE = struct.Struct("<16sI")           # volume name, extended header size
ERASE_POLARITY = 0x800

FILE_ALIGNMENT = 8
FILETYPE_FIRMWARE_VOLUME_IMAGE = 0x0B
# A valid file's state byte inside a volume, by the volume's erased value:
# with erase polarity 1 every state bit that is set reads as 0.
FFS_STATE_IN_VOLUME = {0xFF: ffs.EFI_FILE_STATE_STANDALONE ^ 0xFF,
                       0x00: ffs.EFI_FILE_STATE_STANDALONE}

SECTION_GUID_DEFINED = 0x02
SECTION_FIRMWARE_VOLUME_IMAGE = 0x17
GUID_DEFINED_HEADER = struct.Struct("<16sHH")      # definition GUID, data offset, attributes


class FormatError(ValueError):
    pass


def in_volume(standalone, erased):
    """A standalone file's bytes as a volume with this erased value stores
    them. The header checksum leaves the state out, so nothing else changes."""
    placed = bytearray(standalone)
    placed[ffs.STATE_AT] = FFS_STATE_IN_VOLUME[erased]
    return bytes(placed)


def align(value, alignment):
    return (value + alignment - 1) & ~(alignment - 1)


class Volume:
    """A firmware volume found at offset in data."""

    def __init__(self, data, offset, what="volume"):
        if len(data) < offset + VOLUME_HEADER.size or \
                data[offset + 40:offset + 44] != VOLUME_SIGNATURE:
            raise FormatError(f"{what}: no firmware volume header at {offset:#x}")
        (_, _, length, _, attributes, header_length, _, ext_offset, _,
         _) = VOLUME_HEADER.unpack_from(data, offset)
        if length > len(data) - offset or header_length > length or header_length % 2:
            raise FormatError(f"{what}: volume at {offset:#x} claims {length:#x} bytes")
        header = data[offset:offset + header_length]
        if sum(struct.unpack(f"<{header_length // 2}H", header)) & 0xFFFF:
            raise FormatError(f"{what}: volume header checksum wrong at {offset:#x}")
        self.data = data
        self.offset = offset
        self.length = length
        self.erased = 0xFF if attributes & ERASE_POLARITY else 0x00
        self.what = what
        first = header_length
        if ext_offset:
            _, ext_size = EXT_HEADER_SIZE.unpack_from(data, offset + ext_offset)
            first = ext_offset + ext_size
        self.first_file = align(first, FILE_ALIGNMENT)

    @property
    def end(self):
        return self.offset + self.length

    def files(self):
        """(offset in data, FileHeader) of every file up to the erased space."""
        at = self.offset + self.first_file
        while at + ffs.FILE_HEADER_SIZE <= self.end:
            if all(b == self.erased for b in self.data[at:at + ffs.FILE_HEADER_SIZE]):
                return
            file = FileHeader(self.data, at, self.end, f"{self.what}, file at {at - self.offset:#x}")
            yield at, file
            at = align(at + file.size, FILE_ALIGNMENT)

    def free_offset(self):
        """Where the erased space after the last file starts (relative to the volume)."""
        last = self.offset + self.first_file
        for at, file in self.files():
            last = align(at + file.size, FILE_ALIGNMENT)
        tail = self.data[last:self.end]
        if tail.count(self.erased) != len(tail):
            raise FormatError(f"{self.what}: bytes after the last file are not erased")
        return last - self.offset


class FileHeader:
    """A file's header, checked as the DXE core checks every header in a
    volume; pad and raw files have no sections, so only parse() reads them."""

    def __init__(self, data, offset, limit, what):
        if offset + ffs.FILE_HEADER_SIZE > limit:
            raise FormatError(f"{what}: truncated header")
        try:
            self.guid, _, self.type, attributes, self.size, _ = ffs.read_header(data, offset)
        except ValueError as error:
            raise FormatError(f"{what}: {error}") from None
        if attributes & ffs.FFS_ATTRIB_LARGE_FILE or self.size < ffs.FILE_HEADER_SIZE \
                or offset + self.size > limit:
            raise FormatError(f"{what}: size {self.size:#x} does not fit its volume")
        self.data = data
        self.offset = offset
        self.what = what

    def parse(self):
        """The whole file with its sections (ffs.FfsFile)."""
        return parse_file(self.data[self.offset:self.offset + self.size], self.what)


def parse_file(data, what):
    try:
        return ffs.parse_ffs(data)
    except ValueError as error:
        raise FormatError(f"{what}: {error}") from None


def sections(data, start, end, what):
    """(offset, type, size) of the sections between start and end, each 4-byte aligned."""
    found = []
    at = start
    while at < end:
        size = int.from_bytes(data[at:at + 3], "little")
        if at + ffs.SECTION_HEADER_SIZE > end or size < ffs.SECTION_HEADER_SIZE or at + size > end:
            raise FormatError(f"{what}: bad section at {at - start:#x}")
        found.append((at, data[at + 3], size))
        at = align(at + size, ffs.SECTION_ALIGNMENT)
    return found
