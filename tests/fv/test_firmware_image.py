# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The image tool: the firmware image it writes, read back byte by byte and
by UEFIExtract, and the inputs it must refuse without writing anything."""

import lzma
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import uuid

import ffs

REPO = pathlib.Path(__file__).resolve().parents[2]
TOOL = REPO / "tools" / "fv" / "add_drivers.py"
BASE = pathlib.Path("/usr/share/OVMF/OVMF_CODE_4M.fd")
DRIVERS = ("ec_flash_updater", "ec_threshold_guard")
FILE_GUIDS = {"ec_flash_updater": "C333ED31-0910-4076-AF75-35A90AF88C6B",
              "ec_threshold_guard": "AE73C5D2-970E-4418-9CBC-F9203B71B335"}
DXE_VOLUME_NAME = "7CB8BDC9-F8EB-4F34-AAEA-3EE4AF6516A1"  # the volume's extended-header name
ERASED = 0xFF
STATE_AT = 23
STANDALONE_STATE = 0x07  # header construction, header valid, data valid
IN_VOLUME_STATE = 0xF8   # the same bits under erase polarity 1


def compressed_payload(image):
    """(offset, bytes) of the LZMA data: the top volume's first file, its
    GUID-defined section, that section's data offset."""
    ext_offset = struct.unpack_from("<H", image, 52)[0]
    ext_size = struct.unpack_from("<I", image, ext_offset + 16)[0]
    file_at = (ext_offset + ext_size + 7) & ~7
    section_at = file_at + 24
    section_size = int.from_bytes(image[section_at:section_at + 3], "little")
    data_offset = struct.unpack_from("<H", image, section_at + 20)[0]
    return section_at + data_offset, image[section_at + data_offset:section_at + section_size]


def changed_range(before, after):
    first = next(i for i, (a, b) in enumerate(zip(before, after)) if a != b)
    last = len(before) - next(i for i, (a, b) in enumerate(zip(reversed(before), reversed(after)))
                              if a != b)
    return first, last


def run_tool(*args):
    return subprocess.run([sys.executable, str(TOOL), *map(str, args)],
                          capture_output=True, text=True, timeout=120)


class WithWorkFolder(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = pathlib.Path(os.environ.get("EC_IMAGE_DIR", REPO / "build" / "image"))
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="fvimage-"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)


@unittest.skipUnless(BASE.is_file(), f"{BASE} missing (Debian package ovmf)")
class FirmwareImageTest(WithWorkFolder):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.ffs = [cls.build / f"{name}.ffs" for name in DRIVERS]
        cls.output = cls.work / "code.fd"
        cls.result = run_tool("--output", cls.output, *cls.ffs)
        cls.base = BASE.read_bytes()
        cls.image = cls.output.read_bytes() if cls.output.is_file() else b""

    def test_only_the_compressed_volumes_change_and_keep_their_size(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        self.assertEqual(len(self.image), len(self.base))
        at, before = compressed_payload(self.base)
        _, after = compressed_payload(self.image)
        first, last = changed_range(self.base, self.image)
        top_volume_end = struct.unpack_from("<Q", self.base, 32)[0]
        self.assertGreaterEqual(first, at - 32, "a byte before the compressed file changed")
        self.assertLessEqual(last, top_volume_end, "a byte after the top volume changed")
        self.assertEqual(self.image[at + len(after):top_volume_end],
                         bytes([ERASED]) * (top_volume_end - at - len(after)))
        raw_before = lzma.decompress(before, format=lzma.FORMAT_ALONE)
        raw_after = lzma.decompress(after, format=lzma.FORMAT_ALONE)
        # The firmware sizes its buffer from this field: -1 would not boot.
        self.assertEqual(struct.unpack_from("<Q", after, 5)[0], len(raw_before))
        self.assertEqual(len(raw_after), len(raw_before))
        self.assertEqual(after[:5], before[:5], "LZMA properties or dictionary size")

    def test_new_files_fill_erased_space_in_order_8_byte_aligned(self):
        raw_before = lzma.decompress(compressed_payload(self.base)[1], format=lzma.FORMAT_ALONE)
        raw_after = lzma.decompress(compressed_payload(self.image)[1], format=lzma.FORMAT_ALONE)
        first, last = changed_range(raw_before, raw_after)
        self.assertEqual(raw_before[first:last], bytes([ERASED]) * (last - first))
        expected = bytearray()
        for path in self.ffs:
            placed = bytearray(path.read_bytes())
            placed[STATE_AT] = IN_VOLUME_STATE  # inverted, as GenFv places it
            expected += bytes([ERASED]) * (-len(expected) % 8) + placed
        self.assertEqual(first % 8, 0)
        self.assertEqual(raw_after[first:first + len(expected)], bytes(expected))
        self.assertEqual(raw_before[first - 1], ERASED, "not placed at the start of the free space")
        self.assertNotEqual(raw_before[first - 8:first], bytes([ERASED]) * 8,
                            "a gap left before the first new file")

    @unittest.skipUnless(shutil.which("UEFIExtract"), "UEFIExtract missing (uefitool-cli)")
    def test_uefiextract_reads_both_drivers_in_the_dxe_volume(self):
        report = run_uefiextract(self.output)
        volume = [row for row in report if row[0] == "Volume" and DXE_VOLUME_NAME in row[-1]]
        self.assertEqual(len(volume), 1, "DXE volume not found")
        depth = dashes(volume[0][-1])
        for name in DRIVERS:
            with self.subTest(name):
                at = next((i for i, row in enumerate(report) if row[0] == "File"
                           and FILE_GUIDS[name] in row[-1]), None)
                self.assertIsNotNone(at, f"{name} not listed")
                owner = max(i for i in range(at) if report[i][0] == "Volume")
                self.assertIs(report[owner], volume[0], f"{name} outside the DXE volume")
                self.assertEqual(report[at][1], "DXE driver")
                self.assertTrue(report[at][-1].endswith(f"| {name}"), report[at][-1])
                self.assertEqual(dashes(report[at][-1]), depth + 1, "not a file of the volume")
                kinds = [row[1] for row in report[at + 1:at + 4]]
                self.assertEqual(kinds, ["DXE dependency", "PE32 image", "UI"])


def dashes(name_cell):
    """The nesting depth UEFIExtract shows as leading dashes."""
    name = name_cell.strip()
    return len(name) - len(name.lstrip("-"))


def run_uefiextract(path):
    """UEFIExtract's report as rows of cells; it must say nothing on the way."""
    done = subprocess.run(["UEFIExtract", str(path), "report"], capture_output=True, text=True,
                          timeout=60)
    if done.returncode != 0 or done.stdout.strip() or done.stderr.strip():
        raise AssertionError(f"UEFIExtract: status {done.returncode}: {done.stdout}{done.stderr}")
    text = pathlib.Path(f"{path}.report.txt").read_text()
    return [[cell.strip() for cell in line.split("|", 5)[:5]] + [line.split("|", 5)[-1]]
            for line in text.splitlines()[1:]]


@unittest.skipUnless(BASE.is_file(), f"{BASE} missing (Debian package ovmf)")
class RefusalTest(WithWorkFolder):
    """Each input the tool must refuse: status 1, one line, no output file."""

    def write(self, name, data):
        path = self.work / name
        path.write_bytes(data)
        return path

    def driver(self, guid, pe32, depex=b"\x06\x08"):
        return ffs.driver_file(uuid.UUID(guid), "probe", pe32, depex)

    def cases(self):
        guard = (self.build / "ec_threshold_guard.ffs").read_bytes()
        guard_efi = (self.build / "ec_threshold_guard.efi").read_bytes()
        pe = struct.unpack_from("<I", guard_efi, 0x3C)[0]
        i386 = bytearray(guard_efi)
        i386[pe + 4:pe + 6] = struct.pack("<H", 0x014C)
        application = bytearray(guard_efi)
        application[pe + 24 + 68] = 10
        bad_checksum = bytearray(guard)
        bad_checksum[16] ^= 1
        fresh = "0E6B8D43-56F1-4C47-9A59-7A7B3E1D2C01"
        shell_app = "7C04A583-9E3E-4F1C-AD65-E05268D0B4D1"  # a file OVMF already holds
        huge = guard_efi + bytes(8 << 20)

        def with_state(state):
            data = bytearray(guard)
            data[STATE_AT] = state
            return bytes(data)
        return [
            ("base not a firmware image", self.write("base.fd", bytes(len(BASE.read_bytes()))),
             [guard], "no firmware volume header"),
            ("header checksum", BASE, [bad_checksum], "header checksum"),
            ("32-bit image", BASE, [self.driver(fresh, bytes(i386))], "not an x86-64"),
            ("application", BASE, [self.driver(fresh, bytes(application))],
             "not an EFI boot-service driver"),
            ("GUID in the base image", BASE, [self.driver(shell_app, guard_efi)],
             "already present"),
            ("GUID twice", BASE, [guard, guard], "already present"),
            ("no room", BASE, [self.driver(fresh, huge)], "no room"),
            ("already in the in-volume form", BASE, [with_state(IN_VOLUME_STATE)],
             "not a standalone file's"),
            ("data not valid yet", BASE, [with_state(STANDALONE_STATE & ~0x04)],
             "not a standalone file's"),
            ("marked for deletion", BASE, [with_state(STANDALONE_STATE | 0x08)],
             "not a standalone file's"),
        ]

    def test_refusals(self):
        for name, base, files, message in self.cases():
            with self.subTest(name):
                paths = [self.write(f"in{i}.ffs", data) for i, data in enumerate(files)]
                output = self.work / "out.fd"
                done = run_tool("--base", base, "--output", output, *paths)
                self.assertEqual(done.returncode, 1)
                self.assertIn(message, done.stderr)
                self.assertEqual(len(done.stderr.strip().splitlines()), 1, done.stderr)
                self.assertFalse(output.exists(), "an output was written")
                self.assertEqual([p.name for p in self.work.glob(".add_drivers-*")], [])


if __name__ == "__main__":
    unittest.main()
