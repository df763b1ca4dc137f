"""Reads firmware volumes, the files in them and the sections in a file.

Only what the image tool needs: volume headers (checked by their checksum),
the file list of a volume with each header's checksum checked, and the
section list of a file or of a section body. Everything that does not parse
raises FormatError, whose text names the place.
"""

import struct
import uuid

VOLUME_SIGNATURE = b"_FVH"
VOLUME_HEADER = struct.Struct("<16s16sQ4sIHHHBB")  # zero vector .. revision (56 bytes)
EXT_HEADER_SIZE = struct.Struct("<16sI")           # volume name, extended header size
ERASE_POLARITY = 0x800

FILE_HEADER_SIZE = 24
FILE_HEADER = struct.Struct("<16sBBBB3sB")         # name, checksums, type, attributes, size, state
FILE_CHECKSUM_OFFSET, FILE_STATE_OFFSET = 17, 23
LARGE_FILE = 0x01                                  # attribute: 8-byte size after the header
FILE_ALIGNMENT = 8
# A valid file's state byte (header and data valid), by the volume's erased value.
FFS_STATE_VALID = {0xFF: 0xF8, 0x00: 0x07}
FILETYPE_FIRMWARE_VOLUME_IMAGE = 0x0B

SECTION_HEADER_SIZE = 4
SECTION_ALIGNMENT = 4
SECTION_GUID_DEFINED = 0x02
SECTION_PE32 = 0x10
SECTION_FIRMWARE_VOLUME_IMAGE = 0x17
GUID_DEFINED_HEADER = struct.Struct("<16sHH")      # definition GUID, data offset, attributes


class FormatError(ValueError):
    pass


def align(value, alignment):
    return (value + alignment - 1) & ~(alignment - 1)


class Volume:
    """A firmware volume found at offset in data."""

    def __init__(self, data, offset, what="volume"):
        if len(data) < offset + VOLUME_HEADER.size or \
                data[offset + 40:offset + 44] != VOLUME_SIGNATURE:
            raise FormatError(f"{what}: no firmware volume header at {offset:#x}")
        (_, guid, length, _, attributes, header_length, _, ext_offset, _,
         _) = VOLUME_HEADER.unpack_from(data, offset)
        if length > len(data) - offset or header_length > length or header_length % 2:
            raise FormatError(f"{what}: volume at {offset:#x} claims {length:#x} bytes")
        header = data[offset:offset + header_length]
        if sum(struct.unpack(f"<{header_length // 2}H", header)) & 0xFFFF:
            raise FormatError(f"{what}: volume header checksum wrong at {offset:#x}")
        self.data = data
        self.offset = offset
        self.length = length
        self.guid = uuid.UUID(bytes_le=guid)
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
        """Every file up to the erased space, each header checked."""
        at = self.offset + self.first_file
        while at + FILE_HEADER_SIZE <= self.end:
            if all(b == self.erased for b in self.data[at:at + FILE_HEADER_SIZE]):
                return
            ffs = FfsFile(self.data, at, self.end, f"{self.what}, file at {at - self.offset:#x}")
            yield ffs
            at = align(ffs.end, FILE_ALIGNMENT)

    def free_offset(self):
        """Where the erased space after the last file starts (relative to the volume)."""
        last = self.offset + self.first_file
        for ffs in self.files():
            last = align(ffs.end, FILE_ALIGNMENT)
        tail = self.data[last:self.end]
        if tail.count(self.erased) != len(tail):
            raise FormatError(f"{self.what}: bytes after the last file are not erased")
        return last - self.offset


class FfsFile:
    """A firmware file whose header starts at offset in data."""

    def __init__(self, data, offset, limit, what="file"):
        if offset + FILE_HEADER_SIZE > limit:
            raise FormatError(f"{what}: truncated header")
        name, _, _, file_type, attributes, size, state = FILE_HEADER.unpack_from(data, offset)
        header = bytearray(data[offset:offset + FILE_HEADER_SIZE])
        header[FILE_CHECKSUM_OFFSET] = header[FILE_STATE_OFFSET] = 0
        if sum(header) & 0xFF:
            raise FormatError(f"{what}: header checksum wrong")
        if attributes & LARGE_FILE:
            raise FormatError(f"{what}: large files are not handled")
        self.size = int.from_bytes(size, "little")
        if self.size < FILE_HEADER_SIZE or offset + self.size > limit:
            raise FormatError(f"{what}: size {self.size:#x} runs past its volume")
        self.data = data
        self.offset = offset
        self.guid = uuid.UUID(bytes_le=name)
        self.type = file_type
        self.state = state
        self.what = what

    @property
    def end(self):
        return self.offset + self.size

    def sections(self):
        return sections(self.data, self.offset + FILE_HEADER_SIZE, self.end, self.what)


class Section:
    def __init__(self, data, offset, size, section_type):
        self.data = data
        self.offset = offset
        self.size = size
        self.type = section_type

    @property
    def body(self):
        return self.data[self.offset + SECTION_HEADER_SIZE:self.offset + self.size]


def sections(data, start, end, what):
    """The sections between start and end, each 4-byte aligned from start."""
    found = []
    at = start
    while at < end:
        if at + SECTION_HEADER_SIZE > end:
            raise FormatError(f"{what}: truncated section header at {at - start:#x}")
        size = int.from_bytes(data[at:at + 3], "little")
        if size < SECTION_HEADER_SIZE or at + size > end:
            raise FormatError(f"{what}: section at {at - start:#x} claims {size:#x} bytes")
        found.append(Section(data, at, size, data[at + 3]))
        at = align(at + size, SECTION_ALIGNMENT)
    return found
