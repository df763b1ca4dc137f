# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Reads and writes variables in an OVMF variable store file.

The file is a firmware volume whose body is an authenticated variable store:
a log of variable records, each later copy of a variable marking the earlier
one deleted. Only records in the ADDED state are current. Writing appends a
record in the erased space after the last one, as the firmware itself does,
so a store can be prepared before the first power-on.
"""

import struct
import uuid

AUTHENTICATED_STORE = uuid.UUID("aaf32c78-947b-439a-a180-2e144ec37792")

STORE_HEADER = struct.Struct("<16sIBBHI")          # signature, size, format, state
RECORD_HEADER = struct.Struct("<HBxIQ16sIII16s")    # start id .. vendor GUID (60 bytes)
RECORD_START = 0x55AA
RECORD_ALIGNMENT = 4
VAR_ADDED = 0x3F
VAR_DELETED_MASK = 0xFD   # states only ever clear bits: ADDED & DELETED
ERASED = 0xFF


class Variable:
    def __init__(self, attributes, data, record_at=None):
        self.attributes = attributes
        self.data = data
        self.record_at = record_at


def store_bounds(image, path):
    if image[40:44] != b"_FVH":
        raise ValueError(f"{path}: not a firmware volume")
    store = struct.unpack_from("<H", image, 48)[0]
    signature, size, _, _, _, _ = STORE_HEADER.unpack_from(image, store)
    if uuid.UUID(bytes_le=signature) != AUTHENTICATED_STORE:
        raise ValueError(f"{path}: not an authenticated variable store")
    return store + STORE_HEADER.size, store + size


def scan(image, path):
    """The current variables by (name, vendor GUID), and where the records end."""
    variables = {}
    offset, end = store_bounds(image, path)
    while offset + RECORD_HEADER.size <= end:
        (start, state, attributes, _, _, _, name_size, data_size,
         guid) = RECORD_HEADER.unpack_from(image, offset)
        if start != RECORD_START:
            break
        name_at = offset + RECORD_HEADER.size
        data_at = name_at + name_size
        if state == VAR_ADDED:
            name = image[name_at:data_at].decode("utf-16-le").rstrip("\0")
            variables[(name, uuid.UUID(bytes_le=guid))] = Variable(
                attributes, image[data_at:data_at + data_size], offset)
        offset = (data_at + data_size + RECORD_ALIGNMENT - 1) & ~(RECORD_ALIGNMENT - 1)
    return variables, offset, end


def read_variables(path):
    """Maps (name, vendor GUID) to the current Variable."""
    with open(path, "rb") as f:
        return scan(f.read(), path)[0]


def write_variable(path, name, guid, attributes, data):
    """Sets a variable in the store file, marking an earlier copy deleted."""
    with open(path, "rb") as f:
        image = bytearray(f.read())
    variables, free, end = scan(image, path)
    encoded = (name + "\0").encode("utf-16-le")
    record = RECORD_HEADER.pack(RECORD_START, VAR_ADDED, attributes, 0, bytes(16), 0,
                                len(encoded), len(data), guid.bytes_le) + encoded + data
    if free + len(record) > end or any(b != ERASED for b in image[free:free + len(record)]):
        raise ValueError(f"{path}: no erased room for {name} ({len(record)} bytes)")
    earlier = variables.get((name, guid))
    if earlier is not None:
        image[earlier.record_at + 2] &= VAR_DELETED_MASK
    image[free:free + len(record)] = record
    with open(path, "wb") as f:
        f.write(image)
