# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The port traffic the EC host protocol prescribes, for an EC that is never
busy unless a scenario says for how long.

A ready EC passes every wait at the first status read, so each wait leaves
exactly one progress code on port 0x80: 0xEB before each byte written to the
EC, 0xEC before each reply; waits() adds the reads of a busy EC.
Written from the protocol, not from the drivers.
"""

from ec_device import EC_CMD_PORT, EC_DATA_PORT, POST_CODE_PORT

WAIT_INPUT_EMPTY = 0xEB
WAIT_OUTPUT_FULL = 0xEC

GUARD_SET_THRESHOLD = 0xAA
ACPI_EC_READ = 0x80
GUARD_REGISTER = 0x93

PT_ENTER, PT_SELECT, PT_SEND_COMMAND, PT_READ_BYTE, PT_LEAVE = 0xDC, 0x01, 0x02, 0x04, 0xFE
PT_READY = 0x33
HANDSHAKE_REPLIES = 10
FLASH_READ_STATUS = 0x05


class Traffic:
    def __init__(self):
        self.ports = {EC_DATA_PORT: bytearray(), EC_CMD_PORT: bytearray(),
                      POST_CODE_PORT: bytearray()}

    def command(self, byte):
        self.ports[POST_CODE_PORT].append(WAIT_INPUT_EMPTY)
        self.ports[EC_CMD_PORT].append(byte)
        return self

    def data(self, byte):
        self.ports[POST_CODE_PORT].append(WAIT_INPUT_EMPTY)
        self.ports[EC_DATA_PORT].append(byte)
        return self

    def reply(self):
        self.ports[POST_CODE_PORT].append(WAIT_OUTPUT_FULL)
        return self

    def waits(self, reads):
        """reads more status reads with the input buffer still full before the next write."""
        self.ports[POST_CODE_PORT] += bytes([WAIT_INPUT_EMPTY]) * reads
        return self

    def as_bytes(self):
        return {port: bytes(b) for port, b in self.ports.items()}


NO_TRAFFIC = Traffic().as_bytes()


def guard_check(threshold):
    """The guard's opening command waits for the input buffer like every other:
    an EC still holding an earlier byte could otherwise lose it."""
    return (Traffic().command(GUARD_SET_THRESHOLD).data(threshold)
            .command(ACPI_EC_READ).data(GUARD_REGISTER).reply().as_bytes())


def updater_skip():
    return Traffic().command(PT_LEAVE).as_bytes()


def updater_init_failure():
    traffic = Traffic().command(PT_ENTER)
    for _ in range(HANDSHAKE_REPLIES):
        traffic.reply()
    return traffic.command(PT_LEAVE).as_bytes()


def updater_flash_busy_start():
    """Pass-through entered at the first reply, then the idle wait's status read opened."""
    return (Traffic().command(PT_ENTER).reply().command(PT_SELECT)
            .command(PT_SEND_COMMAND).command(FLASH_READ_STATUS).as_bytes())


# One more status byte read while the flash stays busy.
FLASH_BUSY_POLL = Traffic().command(PT_READ_BYTE).reply().as_bytes()
