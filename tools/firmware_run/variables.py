# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The variables the scenarios look at after a run, read from the store file
(alone, or inside a board flash) by the project's variable-store code
(tools/fv/varstore.py)."""

import os
import struct
import sys
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fv"))

import board_flash  # noqa: E402  (after the path above)
import varstore  # noqa: E402

GLOBAL_VARIABLE = uuid.UUID("8be4df61-93ca-11d2-aa0d-00e098032b8c")
SETUP_GUID = uuid.UUID("ec87d643-eba4-4bb5-a1e5-3f3e36b20da9")
# "Setup": the EC update request byte and the guard's two bytes in it.
REQUEST, GUARD_ENABLE, GUARD_THRESHOLD = 3172, 3176, 3177
SETUP_SIZE = 3180
SETUP_ATTRIBUTES = 0x7  # non-volatile, boot-service and runtime access


def read_variables(path):
    """The variables of a store file, or of the store inside a board flash."""
    if os.path.getsize(path) == board_flash.FLASH_SIZE:
        return board_flash.read_variables(path)
    return varstore.read_variables(path)


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
