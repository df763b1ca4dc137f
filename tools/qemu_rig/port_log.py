# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Reads the ec-model device's port log: one 16-byte little-endian record per
event, u64 QEMU virtual time in ns, u16 port, u8 kind ('i' read, 'o' write,
'r' platform reset, 'p' power cut), u8 value, u32 zero."""
import collections
import struct

RECORD = struct.Struct("<QHccI")
KINDS = {b"i": "read", b"o": "write", b"r": "reset", b"p": "power cut"}

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
            raise LogError(f"record {offset // RECORD.size}: kind {kind!r}, padding {zero:#x}")
        events.append(Event(time_ns, port, KINDS[kind], value[0]))
    return events


def read(path):
    with open(path, "rb") as log:
        return parse(log.read())


def summary(events):
    """Counts by (kind, port), e.g. {("write", 0x80): 12, ("reset", 0): 1}."""
    return collections.Counter((event.kind, event.port) for event in events)
