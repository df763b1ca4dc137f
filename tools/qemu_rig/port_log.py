# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Reads the ec-model device's port log, whose records port_log_record.h
defines: u64 QEMU virtual time in ns, u16 port, u8 kind ('i' read, 'o' write,
'r' platform reset, 'p' power cut), u8 value, u32 zero, little-endian.

A platform reset separates two boots of the same QEMU process. QEMU resets
the machine once while creating it, before the guest runs: resets before the
first port access start no boot of their own.
"""
import collections
import os
import struct
import subprocess

RECORD = struct.Struct("<QHBBI")
# Where each field starts in a record, for the column views of a whole log.
PORT_AT, KIND_AT, VALUE_AT = (struct.calcsize(prefix) for prefix in ("<Q", "<QH", "<QHB"))
READ, WRITE, RESET, POWER_CUT = b"iorp"
KINDS = {READ: "read", WRITE: "write", RESET: "reset", POWER_CUT: "power cut"}
RESET_CONTROL_PORT = 0xCF9
DEVICE_PORTS = (0x62, 0x66, 0x80, RESET_CONTROL_PORT)   # every port the device logs

Event = collections.namedtuple("Event", "time_ns port kind value")


class LogError(ValueError):
    pass


def parse(data):
    """The events of a whole log, in order; LogError on a malformed one."""
    if len(data) % RECORD.size:
        raise LogError(f"{len(data)} bytes is not a whole number of {RECORD.size}-byte records")
    events = []
    for offset in range(0, len(data), RECORD.size):
        time_ns, port, kind, value, zero = RECORD.unpack_from(data, offset)
        if kind not in KINDS or zero != 0:
            raise LogError(f"record {offset // RECORD.size}: kind {bytes([kind])!r}, padding {zero:#x}")
        events.append(Event(time_ns, port, KINDS[kind], value))
    return events


def read(path):
    with open(path, "rb") as log:
        return parse(log.read())


def summary(events):
    """Counts by (kind, port), e.g. {("write", 0x80): 12, ("reset", 0): 1}."""
    return collections.Counter((event.kind, event.port) for event in events)


def _bitwise(operation, a, b):
    """operation on two byte strings of one length, byte for byte: Python's
    integers do it for the whole string at once."""
    result = operation(int.from_bytes(a, "big"), int.from_bytes(b, "big"))
    return result.to_bytes(len(a), "big")


_INVERT = bytes(255 - i for i in range(256))


class Boot:
    """The records of one boot, as column views of the log's bytes."""

    def __init__(self, data, first, end):
        self.data = data
        self.first = first      # record index in the whole log
        self.end = end

    def _column(self, offset):
        return self.data[self.first * RECORD.size + offset:self.end * RECORD.size:RECORD.size]

    def __len__(self):
        return self.end - self.first

    def accesses(self):
        """(port, kind, value) of every read and write, in order."""
        low, high, kinds, values = (self._column(o) for o in (PORT_AT, PORT_AT + 1, KIND_AT, VALUE_AT))
        return [(lo | hi << 8, k, v) for lo, hi, k, v in zip(low, high, kinds, values)
                if k in (READ, WRITE)]

    def written(self):
        """port -> the bytes written to it, in order (every port written)."""
        found = {port: self.written_to(port) for port in DEVICE_PORTS}
        return {port: data for port, data in found.items() if data}

    def written_to(self, port):
        """The bytes written to one port, in order. A boot of a full update
        holds millions of records, too many to visit one by one here: each
        record's value becomes two hex digits, those of the records that are
        no write to this port become "zz" (with whole-column integer masks),
        and "zz" goes. The device's ports differ in their low byte, so that
        byte and the kind tell the records apart."""
        count = len(self)
        if count == 0:
            return b""
        low, kinds, values = self._column(PORT_AT), self._column(KIND_AT), self._column(VALUE_AT)
        keys = _bitwise(int.__xor__, low, kinds)
        key = (port & 0xFF) ^ WRITE
        chosen = keys.translate(bytes(0xFF if i == key else 0 for i in range(256)))
        mask = bytearray(2 * count)
        mask[0::2] = mask[1::2] = chosen
        digits = _bitwise(int.__and__, values.hex().encode(), mask)
        erased = _bitwise(int.__and__, b"z" * (2 * count), mask.translate(_INVERT))
        return bytes.fromhex(_bitwise(int.__or__, digits, erased).replace(b"zz", b"").decode())

    def access_count(self):
        kinds = self._column(KIND_AT)
        return kinds.count(READ) + kinds.count(WRITE)


class PortLog:
    """A log split into boots; a record cut short at the end (QEMU killed
    mid-write, or still writing) is left out."""

    def __init__(self, data):
        data = data[:len(data) - len(data) % RECORD.size]
        self.data = data
        kinds = data[KIND_AT::RECORD.size]
        self.power_cut = POWER_CUT in kinds
        starts, at = [], 0
        while True:
            at = kinds.find(RESET, at)
            if at < 0:
                break
            starts.append(at + 1)
            at += 1
        first_access = next((i for i, k in enumerate(kinds) if k in (READ, WRITE)), len(kinds))
        # Resets before the first access belong to the machine's creation.
        starts = [0] + [s for s in starts if s > first_access]
        ends = [s - 1 for s in starts[1:]] + [len(kinds)]
        self.boots = [Boot(data, s, e) for s, e in zip(starts, ends)]
        self.resets = len(starts) - 1

    @classmethod
    def read(cls, path):
        with open(path, "rb") as f:
            return cls(f.read())


# ec_port_log, the host build's tool that sets a log beside the protocol.
TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "host",
                    "tools", "port_log", "ec_port_log")


def _tool(*arguments):
    result = subprocess.run([TOOL, *map(str, arguments)], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    return result.returncode == 0, result.stdout.strip()


def compare(path, boot, ec_image, settings=None):
    """(same, its words): the log's boot (from 0) against the protocol's
    sequence for that EC image and an EC with those settings (None: never busy)."""
    image = path + ".ec_image"
    with open(image, "wb") as f:
        f.write(ec_image)
    return _tool("compare", path, "--boot", boot + 1, "--ec-image", image,
                 *([settings] if settings else []))


def block_start(block):
    """The access index at which the update's block starts."""
    ok, text = _tool("block-start", block)
    if not ok:
        raise RuntimeError(f"ec_port_log block-start {block}: {text}")
    return int(text.split()[-1].replace(",", ""), 0)
