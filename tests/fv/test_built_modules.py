# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The modules the image build wrote: the .depex, .ffs and .inf of each driver
against the FILE GUIDs and dependencies the integration guide promises."""

import os
import pathlib
import re
import unittest
import uuid

import ffs

REPO = pathlib.Path(__file__).resolve().parents[2]

VARIABLE_ARCH = "1E5668E2-8481-11D4-BCF1-0080C73C8881"
VARIABLE_WRITE_ARCH = "6441F818-6362-4E44-B570-7DBA31DD2453"
RESET_ARCH = "27CFAC88-46CC-11D4-9A38-0090273FC14D"
METRONOME_ARCH = "26BACCB2-6F42-11D4-BCE7-0080C73C8881"

# name: (FILE GUID, the protocols that must all be installed before dispatch)
DRIVERS = {
    "ec_threshold_guard": ("AE73C5D2-970E-4418-9CBC-F9203B71B335", {VARIABLE_ARCH, RESET_ARCH}),
    "ec_flash_updater": ("C333ED31-0910-4076-AF75-35A90AF88C6B",
                         {VARIABLE_ARCH, VARIABLE_WRITE_ARCH, METRONOME_ARCH}),
}

PUSH, AND, END = 0x02, 0x03, 0x08


def required_protocols(depex: bytes) -> set:
    """Evaluates an expression built only of PUSH, AND and END into the set of
    protocols it requires; anything else fails."""
    stack, at = [], 0
    while depex[at] != END:
        if depex[at] == PUSH:
            stack.append({str(uuid.UUID(bytes_le=depex[at + 1:at + 17])).upper()})
            at += 17
        elif depex[at] == AND:
            stack.append(stack.pop() | stack.pop())
            at += 1
        else:
            raise AssertionError(f"opcode {depex[at]:#04x} at {at}")
    if at != len(depex) - 1 or len(stack) != 1:
        raise AssertionError(f"END at {at} of {len(depex)} bytes, {len(stack)} values left")
    return stack[0]


def read_inf(text: str) -> dict:
    """{section: [line, ...]} without comments."""
    sections, current = {}, None
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        if line.startswith("["):
            current = sections.setdefault(line, [])
        elif line:
            current.append(line)
    return sections


class BuiltModulesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = pathlib.Path(os.environ.get("EC_IMAGE_DIR", REPO / "build" / "image"))

    def read(self, name: str, suffix: str) -> bytes:
        path = self.build / f"{name}{suffix}"
        self.assertTrue(path.is_file(), f"{path} was not built")
        return path.read_bytes()

    def test_dependency_expressions(self):
        for name, (_, protocols) in DRIVERS.items():
            with self.subTest(name):
                self.assertEqual(required_protocols(self.read(name, ".depex")), protocols)

    def test_file_headers(self):
        for name, (file_guid, _) in DRIVERS.items():
            with self.subTest(name):
                data = self.read(name, ".ffs")
                self.assertEqual(data[:16], uuid.UUID(file_guid).bytes_le)
                # file checksum 0xAA, type DRIVER, attributes 0, state 0x07 (standalone)
                self.assertEqual((data[17], data[18], data[19], data[23]), (0xAA, 0x07, 0x00, 0x07))
                self.assertEqual(int.from_bytes(data[20:23], "little"), len(data))
                self.assertEqual((sum(data[:24]) - data[17] - data[23]) % 256, 0, "header checksum")

    def test_file_sections(self):
        for name in DRIVERS:
            with self.subTest(name):
                data = self.read(name, ".ffs")
                sections = ffs.parse_ffs(data).sections
                self.assertEqual([(s.type, s.body) for s in sections], [
                    (0x13, self.read(name, ".depex")),
                    (0x10, self.read(name, ".efi")),
                    (0x15, name.encode("utf-16-le") + b"\0\0"),
                ])
                self.assertEqual([s.offset % 4 for s in sections], [0, 0, 0])
                last = sections[-1]
                self.assertEqual(last.offset + 4 + len(last.body), len(data))

    def test_inf_describes_the_built_files(self):
        for name, (file_guid, _) in DRIVERS.items():
            with self.subTest(name):
                inf = read_inf((self.build / f"{name}.inf").read_text())
                defines = dict(re.split(r"\s*=\s*", line, maxsplit=1)
                               for line in inf["[Defines]"])
                self.assertEqual(defines["BASE_NAME"], name)
                self.assertEqual(defines["MODULE_TYPE"], "DXE_DRIVER")
                self.assertEqual(defines["FILE_GUID"], file_guid)
                self.assertEqual(uuid.UUID(defines["FILE_GUID"]),
                                 ffs.parse_ffs(self.read(name, ".ffs")).guid)
                binaries = [line.split("|") for line in inf["[Binaries.X64]"]]
                self.assertEqual([(kind, file) for kind, file, *_ in binaries],
                                 [("PE32", f"{name}.efi"), ("DXE_DEPEX", f"{name}.depex")])
                for _, file, *_ in binaries:
                    self.assertTrue((self.build / file).is_file(), f"{file} named by the INF is missing")

    def test_integration_guide_quotes_the_file_guids_and_the_inf(self):
        guide = (REPO / "docs" / "integration.md").read_text()
        for name, (file_guid, _) in DRIVERS.items():
            with self.subTest(name):
                self.assertTrue(re.search(rf"`{name}`.*{file_guid}", guide),
                                f"no line naming `{name}` quotes {file_guid}")
        quoted = re.search(r"^```\n(## @file\n.*?)^```$", guide, re.DOTALL | re.MULTILINE)
        self.assertIsNotNone(quoted, "the guide quotes no INF")
        # Line for line, comments included: the guide shows the file as built.
        self.assertEqual(quoted.group(1), (self.build / "ec_flash_updater.inf").read_text())


if __name__ == "__main__":
    unittest.main()
