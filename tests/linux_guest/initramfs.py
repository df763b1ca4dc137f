#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Writes the guest's initramfs: a gzip-compressed cpio archive in the "newc"
format the kernel unpacks, with fixed times, owners and order, so the same
inputs give the same bytes. Written here rather than with cpio(1) so that the
console device node needs no mknod and no root.

usage: initramfs.py OUTPUT INIT BUSYBOX EC_SETUP PROBE EC_SETUP_CONF MODULE...
(modules in the order they are to be loaded)
"""

import gzip
import os
import stat
import sys

NEWC_MAGIC = b"070701"
TRAILER = "TRAILER!!!"
CONSOLE = (5, 1)  # /dev/console: the kernel opens it for init's output
DIRECTORIES = ["bin", "dev", "etc", "etc/ec-setup.d", "lib", "lib/modules", "proc", "sys", "tmp"]


class Archive:
    def __init__(self):
        self.data = bytearray()
        self.inode = 0

    def _pad(self):
        self.data += b"\0" * (-len(self.data) % 4)

    def add(self, name, mode, body=b"", rdev=(0, 0)):
        self.inode += 1
        encoded = name.encode() + b"\0"
        fields = [self.inode, mode, 0, 0, 2 if stat.S_ISDIR(mode) else 1, 0, len(body),
                  0, 0, rdev[0], rdev[1], len(encoded), 0]
        self.data += NEWC_MAGIC + b"".join(b"%08X" % f for f in fields) + encoded
        self._pad()
        self.data += body
        self._pad()

    def file(self, name, path, mode=0o755):
        with open(path, "rb") as f:
            self.add(name, stat.S_IFREG | mode, f.read())

    def finish(self):
        self.add(TRAILER, 0)
        return gzip.compress(bytes(self.data), mtime=0)


def main(output, init, busybox, ec_setup, probe, ec_setup_conf, *modules):
    archive = Archive()
    for directory in DIRECTORIES:
        archive.add(directory, stat.S_IFDIR | 0o755)
    archive.add("dev/console", stat.S_IFCHR | 0o600, rdev=CONSOLE)
    archive.file("init", init)
    archive.file("bin/busybox", busybox)
    archive.file("bin/ec-setup", ec_setup)
    archive.file("bin/efivarfs-probe", probe)
    archive.file("etc/ec-setup.d/rig.conf", ec_setup_conf, 0o644)
    names = [os.path.basename(m) for m in modules]
    for name, path in zip(names, modules):
        archive.file(f"lib/modules/{name}", path, 0o644)
    archive.add("etc/modules.order", stat.S_IFREG | 0o644, "".join(n + "\n" for n in names).encode())
    with open(output, "wb") as f:
        f.write(archive.finish())


if __name__ == "__main__":
    if len(sys.argv) < 7:
        sys.exit(__doc__)
    main(*sys.argv[1:])
