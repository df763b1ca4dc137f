# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The firmware images and variable stores the firmware-volume scenarios and
`./run firmware` boot: Debian's OVMF with our driver files built into its DXE
volume by the project's image tool, a copy of OVMF's variable store with
"Setup" written in by the project's variable-store code, and the board flash
that holds both with an EC image.
"""

import os
import random
import shutil
import uuid

from variables import SETUP_ATTRIBUTES, SETUP_GUID, setup_variable  # also puts tools/fv on the path

import add_drivers  # noqa: E402  (tools/fv)
import board_flash  # noqa: E402
import ffs  # noqa: E402
import modules  # noqa: E402
from varstore import write_variable  # noqa: E402

OVMF_CODE = add_drivers.OVMF_CODE
Refusal = add_drivers.Refusal
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"

# No firmware component installs this protocol: a file that depends on it
# stays in the volume undispatched.
ABSENT_PROTOCOL = uuid.UUID("5C1D7B0E-3A52-4E8F-B6D1-0F9A2E4C7B63")
GUARD = modules.MODULES["ec_threshold_guard"]
SETUP_LOCK_FILE_GUID = uuid.UUID("9B4E2A61-5C0D-4F7E-8A3B-6D1C0E9F2B74")   # test only


def prepare_vars(path, setup, base=OVMF_VARS):
    """A fresh copy of OVMF's store (base), with "Setup" holding setup (None: absent)."""
    shutil.copyfile(base, path)
    if setup is not None:
        write_variable(path, "Setup", SETUP_GUID, SETUP_ATTRIBUTES, setup)


def read_setup(path):
    """Setup's bytes in a store after a run, or None."""
    variable = setup_variable(path)
    return None if variable is None else variable.data


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def _write_ffs(folder, name, data):
    path = os.path.join(folder, f"{name}.ffs")
    with open(path, "wb") as f:
        f.write(data)
    return path


def trigger_sample_file(image_dir, folder):
    """The platform-side trigger sample in a firmware file: dependency TRUE."""
    name = modules.TRIGGER_SAMPLE
    data = ffs.driver_file(modules.TRIGGER_SAMPLE_FILE_GUID, name,
                           _read(os.path.join(image_dir, f"{name}.efi")), ffs.depex())
    return _write_ffs(folder, name, data)


def driver_files(image_dir, folder):
    """Both drivers as the image build wrote them, and the trigger sample."""
    return [os.path.join(image_dir, "ec_flash_updater.ffs"),
            os.path.join(image_dir, "ec_threshold_guard.ffs"),
            trigger_sample_file(image_dir, folder)]


# Writes refused by the policy from the end of DXE on: registered during DXE,
# so the driver waits for the variable driver's policy protocol.
VARIABLE_POLICY_PROTOCOL = uuid.UUID("81D1675C-86F6-48DF-BD95-9A6E4F0925C3")


def setup_lock_file(image_dir, folder):
    """The test-only driver that locks "Setup" at the end of DXE."""
    data = ffs.driver_file(SETUP_LOCK_FILE_GUID, "setup_lock_driver",
                           _read(os.path.join(image_dir, "setup_lock_driver.efi")),
                           ffs.depex(VARIABLE_POLICY_PROTOCOL))
    return _write_ffs(folder, "setup_lock_driver", data)


def locked_setup_files(image_dir, folder):
    """driver_files and the "Setup" lock."""
    return driver_files(image_dir, folder) + [setup_lock_file(image_dir, folder)]


def unmet_dependency_files(image_dir, folder):
    """The guard's image, byte for byte, in a file that waits for ABSENT_PROTOCOL."""
    guard = ffs.driver_file(GUARD.file_guid, GUARD.name,
                            _read(os.path.join(image_dir, f"{GUARD.name}.efi")),
                            ffs.depex(ABSENT_PROTOCOL))
    return [_write_ffs(folder, "guard_unmet_dependency", guard)]


def build_image(output, files):
    """Writes the image with the image tool; returns its Report. Raises add_drivers.Refusal."""
    return add_drivers.build(OVMF_CODE, output, files)


INSTALLED_EC_IMAGE, OLD_EC_IMAGE = 1, 2   # seeds: the image to install, the EC's flash before


def ec_image(seed):
    """A 128 KiB EC image that differs from every other seed's in every
    block; block 5 is all 0xFF, which still has to be erased and programmed."""
    data = bytearray(random.Random(seed).randbytes(board_flash.EC_IMAGE_SIZE))
    data[5 * 1024:6 * 1024] = b"\xff" * 1024
    return bytes(data)


def write_board_flash(path, code, ec_image_path, setup, vars_base=OVMF_VARS):
    """A board flash: the EC image, a copy of the store vars_base with "Setup"
    (None: absent) and the code volume at code."""
    store = path + ".vars"
    prepare_vars(store, setup, vars_base)
    try:
        board_flash.build(path, code, ec_image_path, store)
    finally:
        os.unlink(store)
