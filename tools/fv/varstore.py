"""Reads variables out of an OVMF variable store file after a run.

The file is a firmware volume whose body is an authenticated variable store:
a log of variable records, each later copy of a variable marking the earlier
one deleted. Only records in the ADDED state are current.
"""

import struct
import uuid

AUTHENTICATED_STORE = uuid.UUID("aaf32c78-947b-439a-a180-2e144ec37792")
GLOBAL_VARIABLE = uuid.UUID("8be4df61-93ca-11d2-aa0d-00e098032b8c")
SETUP_GUID = uuid.UUID("ec87d643-eba4-4bb5-a1e5-3f3e36b20da9")

STORE_HEADER = struct.Struct("<16sIBBHI")          # signature, size, format, state
RECORD_HEADER = struct.Struct("<HBxIQ16sIII16s")    # start id .. vendor GUID (60 bytes)
RECORD_START = 0x55AA
VAR_ADDED = 0x3F


class Variable:
    def __init__(self, attributes, data):
        self.attributes = attributes
        self.data = data


def read_variables(path):
    """Maps (name, vendor GUID) to the current Variable."""
    with open(path, "rb") as f:
        image = f.read()
    if image[40:44] != b"_FVH":
        raise ValueError(f"{path}: not a firmware volume")
    store = struct.unpack_from("<H", image, 48)[0]
    signature, size, _, _, _, _ = STORE_HEADER.unpack_from(image, store)
    if uuid.UUID(bytes_le=signature) != AUTHENTICATED_STORE:
        raise ValueError(f"{path}: not an authenticated variable store")
    variables = {}
    offset, end = store + STORE_HEADER.size, store + size
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
                attributes, image[data_at:data_at + data_size])
        offset = (data_at + data_size + 3) & ~3
    return variables


def setup_variable(path):
    return read_variables(path).get(("Setup", SETUP_GUID))


def driver_options(path):
    """The DriverOrder list as (description, device path bytes) of each Driver####."""
    variables = read_variables(path)
    order = variables.get(("DriverOrder", GLOBAL_VARIABLE))
    if order is None:
        return []
    options = []
    for (number,) in struct.iter_unpack("<H", order.data):
        option = variables[(f"Driver{number:04X}", GLOBAL_VARIABLE)].data
        path_length = struct.unpack_from("<H", option, 4)[0]
        end = 6  # attributes, path length, then the UTF-16 description
        while option[end:end + 2] != b"\0\0":
            end += 2
        description = option[6:end].decode("utf-16-le")
        options.append((description, option[end + 2:end + 2 + path_length]))
    return options


def path_names_file(device_path, file_name):
    return file_name.encode("utf-16-le") in device_path
