#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The EDK II package against the CMake image build, so that the two cannot
drift apart: each source INF lists exactly the files CMake compiles into that
image, names the image's FILE GUID and dependency, and the DEC's GUIDs are
the ones the drivers use.

usage: test_package_sources.py IMAGE_BUILD_DIR   (its compile_commands.json)
"""

import json
import pathlib
import re
import sys
import unittest
import uuid

REPO = pathlib.Path(__file__).resolve().parents[2]
FIRMWARE = REPO / "firmware"
sys.path.insert(0, str(REPO / "tools" / "fv"))

import modules  # noqa: E402

INFS = {"ec_flash_updater": FIRMWARE / "updater" / "ec_flash_updater.inf",
        "ec_threshold_guard": FIRMWARE / "guard" / "ec_threshold_guard.inf"}
DEC = FIRMWARE / "EcDriversPkg.dec"
# The C++ name of each GUID the DEC declares.
DEC_GUIDS = {"gEcSetupVariableGuid": "SetupVariableGuid",
             "gEcUpdateTriggerProtocolGuid": "UpdateTriggerProtocolGuid"}
GUID_SOURCE = FIRMWARE / "common" / "setup_data.h"
BRACED_GUID = r"\{\s*(0x[0-9A-Fa-f]+(?:\s*,\s*\{?\s*0x[0-9A-Fa-f]+)*)\s*\}\s*\}"


def sections(path):
    """{section name: [lines]} of an INF or DEC, comments and blank lines dropped."""
    found, current = {}, None
    for line in path.read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if re.fullmatch(r"\[.*\]", line):
            current = found.setdefault(line[1:-1], [])
        elif line and current is not None:
            current.append(line)
    return found


def braced(text):
    """A GUID written as C braces: {0x..., 0x..., 0x..., {0x.., ...}}."""
    numbers = [int(n, 16) for n in re.findall(r"0x[0-9A-Fa-f]+", text)]
    return uuid.UUID(fields=(*numbers[:3], numbers[3], numbers[4],
                             int.from_bytes(bytes(numbers[5:11]), "big")))


def compiled_sources(build_dir):
    """{image: set of sources} from CMake's compile database."""
    by_target = {}
    for entry in json.loads((build_dir / "compile_commands.json").read_text()):
        output = entry.get("output") or re.search(r"-o (\S+)", entry["command"]).group(1)
        target = re.search(r"CMakeFiles/([^/]+)\.dir/", output).group(1)
        by_target.setdefault(target, set()).add(pathlib.Path(entry["file"]).resolve())
    return by_target


class PackageSourcesTest(unittest.TestCase):
    build_dir = None

    def test_each_inf_lists_what_cmake_compiles_into_its_image(self):
        compiled = compiled_sources(self.build_dir)
        for name, inf in INFS.items():
            with self.subTest(name):
                listed = {(inf.parent / line).resolve() for line in sections(inf)["Sources"]}
                self.assertEqual(sorted(map(str, listed)), sorted(map(str, compiled[name])))

    def test_each_inf_names_the_shipped_file_guid_and_dependency(self):
        for name, inf in INFS.items():
            with self.subTest(name):
                parsed = sections(inf)
                defines = dict(re.split(r"\s*=\s*", line, 1) for line in parsed["Defines"]
                               if "=" in line and not line.startswith("DEFINE "))
                module = modules.MODULES[name]
                self.assertEqual((defines["BASE_NAME"], defines["MODULE_TYPE"]),
                                 (name, "DXE_DRIVER"))
                self.assertEqual(uuid.UUID(defines["FILE_GUID"]), module.file_guid)
                depex = " ".join(parsed["Depex"]).split(" AND ")
                self.assertEqual(depex, [modules.EDK2_PROTOCOL_NAMES[g] for g in module.depex])

    def test_the_dec_declares_the_guids_the_drivers_use(self):
        source = GUID_SOURCE.read_text()
        declared = {}
        for section in ("Guids", "Protocols"):
            for line in sections(DEC)[section]:
                name, value = re.split(r"\s*=\s*", line, 1)
                declared[name] = braced(value)
        self.assertEqual(set(declared), set(DEC_GUIDS))
        for dec_name, cpp_name in DEC_GUIDS.items():
            with self.subTest(dec_name):
                at = re.search(cpp_name + r"\s*=\s*" + BRACED_GUID, source)
                self.assertIsNotNone(at, f"{cpp_name} not found in {GUID_SOURCE.name}")
                self.assertEqual(declared[dec_name], braced(at.group(0)))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    PackageSourcesTest.build_dir = pathlib.Path(sys.argv.pop())
    unittest.main(verbosity=2)
