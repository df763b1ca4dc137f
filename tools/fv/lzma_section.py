# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The LZMA-compressed GUID-defined section the firmware keeps its volumes in.

Its data is a 13-byte header (properties byte, 4-byte dictionary size, 8-byte
uncompressed size) and raw LZMA1. The firmware's decoder sizes its output
buffer from that header, so the size must be the real one: Python's
FORMAT_ALONE writes "unknown" (-1) there, hence the header is written here
and the data as FORMAT_RAW, which ends with the end marker the decoder accepts.
"""

import lzma
import struct
import uuid

from ffs import SECTION_HEADER_SIZE
from volume import GUID_DEFINED_HEADER, FormatError

LZMA_GUID = uuid.UUID("ee4e5898-3914-4259-9d6e-dc7bd79403cf")
LZMA_HEADER = struct.Struct("<BIQ")
PROCESSING_REQUIRED = 0x01


def properties(byte):
    """lc, lp, pb from the properties byte (pb * 45 + lp * 9 + lc)."""
    return {"lc": byte % 9, "lp": byte // 9 % 5, "pb": byte // 45}


def decompress(body):
    """(uncompressed bytes, the properties byte, the dictionary size) of the
    body (what follows the 4-byte header) of a GUID-defined section."""
    if len(body) < GUID_DEFINED_HEADER.size:
        raise FormatError("GUID-defined section shorter than its header")
    guid, data_offset, _ = GUID_DEFINED_HEADER.unpack_from(body)
    if uuid.UUID(bytes_le=guid) != LZMA_GUID:
        raise FormatError(f"GUID-defined section {uuid.UUID(bytes_le=guid)} is not LZMA")
    payload = body[data_offset - SECTION_HEADER_SIZE:]
    if len(payload) < LZMA_HEADER.size:
        raise FormatError("LZMA section shorter than its header")
    props, dictionary, size = LZMA_HEADER.unpack_from(payload)
    try:
        raw = lzma.decompress(payload, format=lzma.FORMAT_ALONE)
    except lzma.LZMAError as error:
        raise FormatError(f"LZMA section does not decompress: {error}") from None
    if len(raw) != size:
        raise FormatError(f"LZMA section holds {len(raw):#x} bytes, its header says {size:#x}")
    return raw, props, dictionary


def guid_defined_body(raw, props, dictionary):
    """The body of an LZMA GUID-defined section holding raw (what follows the 4-byte header)."""
    filters = [{"id": lzma.FILTER_LZMA1, "preset": 9, "dict_size": dictionary, **properties(props)}]
    data = LZMA_HEADER.pack(props, dictionary, len(raw)) + lzma.compress(
        raw, format=lzma.FORMAT_RAW, filters=filters)
    data_offset = SECTION_HEADER_SIZE + GUID_DEFINED_HEADER.size
    return GUID_DEFINED_HEADER.pack(LZMA_GUID.bytes_le, data_offset, PROCESSING_REQUIRED) + data
