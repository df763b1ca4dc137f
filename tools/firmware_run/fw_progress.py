# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The update's block progress as the EC sees it, from the EC device's port
log while the run goes on. Every pass-through flash command is the 0x02
command byte followed by the opcode, both on port 0x66 (the address and data
bytes go behind 0x03 on the data port), so a block's erase is one 0x02 0xD7
pair there and its blank check and verify are the two fast reads (0x02 0x0B)
after it. The device writes the log in chunks: only whole records count.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "qemu_rig"))

from port_log import RECORD, Boot  # noqa: E402  (after the path above)

EC_CMD_PORT = 0x66
PT_SEND_COMMAND = 0x02
FLASH_ERASE = bytes([PT_SEND_COMMAND, 0xD7])
FLASH_FAST_READ = bytes([PT_SEND_COMMAND, 0x0B])
READS_PER_BLOCK = 2          # blank check, then verify
BLOCK = 1024
BLOCKS = 128


class BlockProgress:
    def __init__(self, log_path):
        self.log_path = log_path
        self.offset = 0
        self.commands = bytearray()     # every byte written to port 0x66 so far

    def poll(self):
        """Reads what the device has flushed since the last poll."""
        try:
            with open(self.log_path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return
        data = data[:len(data) - len(data) % RECORD.size]
        if data:
            self.offset += len(data)
            self.commands += Boot(data, 0, len(data) // RECORD.size).written_to(EC_CMD_PORT)

    @property
    def erased(self):
        return self.commands.count(FLASH_ERASE)

    @property
    def verifies_started(self):
        return self.commands.count(FLASH_FAST_READ) // READS_PER_BLOCK

    def verified_so_far(self):
        """Blocks whose verify read has ended: the next block's erase has begun."""
        return min(self.verifies_started, max(self.erased - 1, 0))

    def verified(self, flash, image):
        """At the end: blocks whose verify read ran and whose EC flash equals the image."""
        if flash is None:
            return 0
        return sum(1 for b in range(min(self.verifies_started, BLOCKS))
                   if flash[b * BLOCK:(b + 1) * BLOCK] == image[b * BLOCK:(b + 1) * BLOCK])
