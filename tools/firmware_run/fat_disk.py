# SPDX-License-Identifier: BSD-2-Clause-Patent
"""A disk image holding a folder's files in a FAT file system, written with
mtools: the disk the UEFI Shell scenarios boot with. (QEMU's own FAT folder
drive needs a qcow overlay to be writable, which the project's QEMU lacks,
and the disk devices refuse a read-only one.)"""

import os
import subprocess

DISK_SIZE = 8 << 20   # room for the three images and the script
SPARE = 4 << 20       # beyond the files: the FAT itself and files the guest writes


def write_fat_disk(folder, image):
    files_size = sum(os.path.getsize(os.path.join(folder, name)) for name in os.listdir(folder))
    with open(image, "wb") as f:
        f.truncate(max(DISK_SIZE, files_size + SPARE))
    environment = {**os.environ, "MTOOLS_SKIP_CHECK": "1"}
    subprocess.run(["mformat", "-i", image, "-v", "ECTEST", "::"], check=True, env=environment)
    files = [os.path.join(folder, name) for name in sorted(os.listdir(folder))]
    subprocess.run(["mcopy", "-i", image, *files, "::/"], check=True, env=environment)
