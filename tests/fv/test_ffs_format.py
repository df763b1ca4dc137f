# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The FFS writer and reader against files worked out by hand."""

import unittest
import uuid

import ffs

GUID = uuid.UUID("01020304-0506-0708-090A-0B0C0D0E0F10")
GUID_LE = "04030201 0605 0807 090A0B0C0D0E0F10"

# The same GUIDs as docs/integration.md lists them, in the byte order of a
# firmware file.
VARIABLE_ARCH = ("1E5668E2-8481-11D4-BCF1-0080C73C8881", "E268561E 8184 D411 BCF10080C73C8881")
VARIABLE_WRITE_ARCH = ("6441F818-6362-4E44-B570-7DBA31DD2453",
                       "18F84164 6263 444E B5707DBA31DD2453")
RESET_ARCH = ("27CFAC88-46CC-11D4-9A38-0090273FC14D", "88ACCF27 CC46 D411 9A380090273FC14D")
METRONOME_ARCH = ("26BACCB2-6F42-11D4-BCE7-0080C73C8881", "B2CCBA26 426F D411 BCE70080C73C8881")

# A driver file with dependency TRUE, a two-byte "image" and the name "A":
# header (GUID; header checksum 0x100 - (0x88 GUID bytes + 0x07 + size);
# file checksum 0xAA; type 7; attributes 0; size; state 0x07, the
# standalone form), then each
# section 4-byte aligned and zero padded.
TINY_DRIVER = GUID_LE + "41 AA 07 00 300000 07" + """
    06 00 00 13  06 08  0000
    06 00 00 10  4D 5A  0000
    08 00 00 15  4100 0000"""
TINY_DRIVER_VERSION_1 = GUID_LE + "37 AA 07 00 3A0000 07" + """
    06 00 00 13  06 08  0000
    06 00 00 10  4D 5A  0000
    08 00 00 15  4100 0000
    0A 00 00 14  0000 3100 0000"""


def unhex(text: str) -> bytes:
    return bytes.fromhex("".join(text.split()))


def with_header_checksum(data: bytearray) -> bytearray:
    data[16] = -(sum(data[:24]) - data[16] - data[17] - data[23]) & 0xFF
    return data


class WriterTest(unittest.TestCase):
    def test_dependency_expressions(self):
        cases = [
            ((), "06 08"),
            ((VARIABLE_ARCH,), "02" + VARIABLE_ARCH[1] + "08"),
            ((VARIABLE_ARCH, RESET_ARCH),
             "02" + VARIABLE_ARCH[1] + "02" + RESET_ARCH[1] + "03 08"),
            ((VARIABLE_ARCH, VARIABLE_WRITE_ARCH, METRONOME_ARCH),
             "02" + VARIABLE_ARCH[1] + "02" + VARIABLE_WRITE_ARCH[1] + "03" + "02" + METRONOME_ARCH[1]
             + "03 08"),
        ]
        for protocols, expected in cases:
            with self.subTest(protocols=[name for name, _ in protocols]):
                guids = [uuid.UUID(name) for name, _ in protocols]
                self.assertEqual(ffs.depex(*guids).hex(), unhex(expected).hex())

    def test_driver_files(self):
        for version, expected in ((None, TINY_DRIVER), ("1", TINY_DRIVER_VERSION_1)):
            with self.subTest(version=version):
                data = ffs.driver_file(GUID, "A", b"MZ", unhex("06 08"), version)
                self.assertEqual(data.hex(), unhex(expected).hex())

    def test_second_section_starts_aligned_and_nothing_follows_the_last(self):
        # The first section starts at 24; its size is 4 + body length.
        for body_length, second_at in ((1, 32), (2, 32), (3, 32), (4, 32), (5, 36), (8, 36)):
            with self.subTest(body_length=body_length):
                data = ffs.ffs_file(GUID, 0x07, [ffs.section(0x19, b"x" * body_length),
                                                 ffs.section(0x15, b"B\0\0\0")])
                self.assertEqual(data[second_at:second_at + 8], unhex("08000015 42000000"))
                self.assertEqual(len(data), second_at + 8)
                self.assertEqual(int.from_bytes(data[20:23], "little"), second_at + 8)

    def test_refuses_what_does_not_fit_or_is_no_image(self):
        with self.assertRaises(ValueError):
            ffs.section(0x19, bytes(0xFFFFFC))
        with self.assertRaises(ValueError):
            ffs.driver_file(GUID, "A", b"\x7fELF", ffs.depex())


class ReaderTest(unittest.TestCase):
    def test_reads_a_hand_made_file(self):
        parsed = ffs.parse_ffs(unhex(TINY_DRIVER) + b"\xff" * 8)  # followed by erased flash
        self.assertEqual((parsed.guid, parsed.type, parsed.state, parsed.size),
                         (GUID, 0x07, 0x07, 0x30))
        self.assertEqual([(s.type, s.body, s.offset) for s in parsed.sections],
                         [(0x13, b"\x06\x08", 24), (0x10, b"MZ", 32), (0x15, b"A\0\0\0", 40)])

    def test_rejects_damage(self):
        def patch(at, value, fix_checksum=True):
            def damage(data):
                data[at] = value
                return with_header_checksum(data) if fix_checksum else data
            return damage

        cases = {
            "header checksum off by one": patch(16, 0x42, fix_checksum=False),
            "name changed after the checksum": patch(0, 0x05, fix_checksum=False),
            "size changed after the checksum": patch(20, 0x2C, fix_checksum=False),
            "file checksum without its attribute": patch(17, 0x00),
            "size beyond the data": patch(20, 0x38),
            "size that cuts the last section": patch(20, 0x2C),
            "section size below its header": patch(24, 0x02),
            "section size past the file end": patch(40, 0x09),
            "truncated": lambda data: data[:0x28],
        }
        for name, damage in cases.items():
            with self.subTest(name):
                with self.assertRaises(ValueError):
                    ffs.parse_ffs(bytes(damage(bytearray(unhex(TINY_DRIVER)))))


if __name__ == "__main__":
    unittest.main()
