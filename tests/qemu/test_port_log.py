# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The port log reader: boots split at platform resets (not at the one QEMU
makes while creating the machine), bytes written per port, counts."""

import unittest

import rig_modules  # noqa: F401  (tools/firmware_run on the path, before the rig's modules)
from port_log import RECORD, PortLog


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


if __name__ == "__main__":
    unittest.main()
