# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The port log reader: malformed records refused, boots split at platform
resets (not at the one QEMU makes while creating the machine), bytes written
per port, counts. The records are packed here by hand, apart from the
reader's own layout."""
import struct
import unittest

import rig  # noqa: F401  (puts tools/qemu_rig on the path)
import port_log
from port_log import PortLog

RECORD = struct.Struct("<QHBBI")


def log(*events):
    """events: (kind, port, value); time counts up by 1 us per record."""
    return b"".join(RECORD.pack(i * 1000, port, ord(kind), value, 0)
                    for i, (kind, port, value) in enumerate(events))


CREATE = ("r", 0, 0)
CF9 = ("o", 0xCF9, 0x0E)
RESET = ("r", 0, 0)


class PortLogTest(unittest.TestCase):
    def test_boots(self):
        # name, events, written per boot, accesses per boot, power cut
        cases = [
            ("one boot after the machine's creation",
             [CREATE, ("i", 0x66, 0), ("o", 0x80, 0xEB), ("o", 0x66, 0xFE)],
             [{0x80: b"\xeb", 0x66: b"\xfe"}], [3], False),
            ("a reset through 0xCF9, then a quiet boot",
             [CREATE, ("o", 0x66, 0xDC), ("i", 0x62, 0x33), CF9, RESET],
             [{0x66: b"\xdc", 0xCF9: b"\x0e"}, {}], [3, 0], False),
            ("two boots with traffic, the second cut off",
             [("o", 0x62, 1), CF9, RESET, ("o", 0x62, 2), ("o", 0x62, 3), ("p", 0, 0)],
             [{0x62: b"\x01", 0xCF9: b"\x0e"}, {0x62: b"\x02\x03"}], [2, 2], True),
            ("nothing at all", [CREATE], [{}], [0], False),
        ]
        for name, events, written, counts, cut in cases:
            with self.subTest(name):
                parsed = PortLog(log(*events))
                self.assertEqual([b.written() for b in parsed.boots], written)
                self.assertEqual([b.written_to(0xCF9) for b in parsed.boots],
                                 [w.get(0xCF9, b"") for w in written])
                self.assertEqual([b.access_count() for b in parsed.boots], counts)
                self.assertEqual(parsed.resets, len(written) - 1)
                self.assertEqual(parsed.power_cut, cut)

    def test_a_record_cut_short_is_dropped(self):
        data = log(CREATE, ("o", 0x66, 0xAA), ("o", 0x62, 0x80))
        parsed = PortLog(data[:-5])
        self.assertEqual(parsed.boots[0].written(), {0x66: b"\xaa"})

    def test_records(self):
        good = RECORD.pack(123, 0x66, ord("i"), 1, 0)
        self.assertEqual(port_log.parse(good), [port_log.Event(123, 0x66, "read", 1)])
        cases = {
            "torn record": good[:-1],
            "unknown kind": log(("z", 0x62, 0)),
            "padding not zero": RECORD.pack(0, 0x62, ord("o"), 0, 1),
        }
        for name, data in cases.items():
            with self.subTest(name), self.assertRaises(port_log.LogError):
                port_log.parse(good + data)


if __name__ == "__main__":
    unittest.main()
