#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""What EDK II's own build wrote from the guide's lines, against the project's
files: GenFfs's file for each prebuilt module, GenFv's placement of it, the
dependency expressions of the modules built from source, the build logs, and
UEFIExtract's reading of the OVMF image.

Run by tests/edk2/run.sh, which passes the build folders in the environment:
EC_IMAGE_DIR, EDK2_TOOLS (BaseTools), EDK2_MINIMAL_BUILD, EDK2_MINIMAL_LOG,
EDK2_OVMF_BUILD, EDK2_OVMF_LOG.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import uuid

REPO = pathlib.Path(__file__).resolve().parents[2]
sys.path[:0] = [str(REPO / "tools" / "fv"), str(REPO / "tests" / "fv")]

import ffs  # noqa: E402
import modules  # noqa: E402
import volume  # noqa: E402
from test_firmware_image import DXE_VOLUME_NAME, dashes, run_uefiextract  # noqa: E402

TRIGGER = modules.TRIGGER_SAMPLE
# The names a log line must not carry next to a warning or an error: a
# compiler's "warning:", EDK II's "error 000E:" (not the -Werror and
# -Wno-error of the command lines the log echoes).
OURS = re.compile("|".join([*modules.MODULES, TRIGGER, "EcDrivers", "EcMinimal"]))
PROBLEM = re.compile(r"\b(warning|error)( [0-9A-F]{4})?:", re.IGNORECASE)


def required_protocols(depex):
    """The protocols an AND-only dependency expression requires, however its
    operands are ordered (EDK II's parser and ours order them differently)."""
    stack, at = [], 0
    while depex[at] != ffs.DEPEX_END:
        if depex[at] == ffs.DEPEX_PUSH:
            stack.append({uuid.UUID(bytes_le=depex[at + 1:at + 17])})
            at += 17
            continue
        if depex[at] == ffs.DEPEX_AND:
            stack.append(stack.pop() | stack.pop())
        elif depex[at] == ffs.DEPEX_TRUE:
            stack.append(set())
        else:
            raise ValueError(f"opcode {depex[at]:#x} at {at}")
        at += 1
    (required,) = stack
    return required


# GenFv's input for a volume like the minimal platform's, without a base
# address: GenFv places the files and rebases nothing.
GENFV_INF = """\
[options]
EFI_BLOCK_SIZE = 0x1000
EFI_NUM_BLOCKS = 0x10
[attributes]
EFI_ERASE_POLARITY = 1
EFI_FVB2_ALIGNMENT_16 = TRUE
[files]
"""


def env_path(name):
    return pathlib.Path(os.environ[name])


def first_difference(a, b):
    at = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    return f"{len(a)} and {len(b)} bytes, first difference at {at:#x}"


class Edk2BuildsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.images = env_path("EC_IMAGE_DIR")
        cls.builds = {"minimal": (env_path("EDK2_MINIMAL_BUILD"), env_path("EDK2_MINIMAL_LOG")),
                      "ovmf": (env_path("EDK2_OVMF_BUILD"), env_path("EDK2_OVMF_LOG"))}
        # name: (FILE GUID, our standalone file)
        cls.ours = {name: (module.file_guid, (cls.images / f"{name}.ffs").read_bytes())
                    for name, module in modules.MODULES.items()}
        # OVMF's modules, built from the package's source INFs: name: (FILE
        # GUID, the dependency expression they ship with).
        cls.from_source = {name: (module.file_guid, (cls.images / f"{name}.depex").read_bytes())
                           for name, module in modules.MODULES.items()}
        cls.from_source[TRIGGER] = (modules.TRIGGER_SAMPLE_FILE_GUID, ffs.depex())

    def genffs_output(self, build, name, guid):
        guid = str(guid).upper()
        path = build / "FV" / "Ffs" / f"{guid}{name}" / f"{guid}.ffs"
        self.assertTrue(path.is_file(), f"GenFfs wrote no {path}")
        return path.read_bytes()

    def test_genffs_writes_our_files_byte_for_byte(self):
        build, _ = self.builds["minimal"]
        for name, (guid, ours) in self.ours.items():
            with self.subTest(module=name):
                theirs = self.genffs_output(build, name, guid)
                self.assertTrue(theirs == ours, first_difference(theirs, ours))

    def test_source_inf_dependencies_require_the_shipped_protocols(self):
        build, _ = self.builds["ovmf"]
        for name, (_, depex) in self.from_source.items():
            with self.subTest(name):
                built = list((build / "X64" / "firmware").rglob(f"OUTPUT/{name}.depex"))
                self.assertEqual(len(built), 1, f"{name}.depex built {len(built)} times")
                self.assertEqual(required_protocols(built[0].read_bytes()),
                                 required_protocols(depex))

    def genfv(self, files):
        """A volume GenFv writes from these FFS files (erase polarity 1, not rebased)."""
        work = pathlib.Path(tempfile.mkdtemp(prefix="genfv-"))
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        names = []
        for n, data in enumerate(files):
            names.append(work / f"{n}.ffs")
            names[-1].write_bytes(data)
        (work / "fv.inf").write_text(GENFV_INF + "".join(f"EFI_FILE_NAME = {name}\n"
                                                         for name in names))
        done = subprocess.run([str(env_path("EDK2_TOOLS") / "Source" / "C" / "bin" / "GenFv"),
                               "-i", str(work / "fv.inf"), "-o", str(work / "out.fv")],
                              capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        return (work / "out.fv").read_bytes()

    def test_genfv_places_the_files_as_the_image_tool_does(self):
        build, _ = self.builds["minimal"]
        ours = [data for _, data in self.ours.values()]
        volumes = {"the minimal platform's flash": next((build / "FV").glob("*.fd")).read_bytes(),
                   "GenFv given our .ffs files": self.genfv(ours)}
        for what, data in volumes.items():
            with self.subTest(what):
                fv = volume.Volume(data, 0, what)
                placed = {header.guid: data[at:at + header.size] for at, header in fv.files()}
                self.assertEqual(list(placed), [guid for guid, _ in self.ours.values()])
                for guid, standalone in self.ours.values():
                    self.assertEqual(placed[guid][ffs.STATE_AT], 0xF8, "state in the volume")
                    self.assertEqual(placed[guid], volume.in_volume(standalone, fv.erased))

    def test_genfv_given_the_in_volume_form_stores_no_valid_state(self):
        # What a file written in the in-volume form becomes: GenFv inverts
        # its state again, to bits no valid file has under erase polarity 1.
        guid, guard = self.ours["ec_threshold_guard"]
        data = self.genfv([volume.in_volume(guard, 0xFF)])
        fv = volume.Volume(data, 0, "GenFv output")
        (at, header), = fv.files()
        self.assertEqual((header.guid, data[at + ffs.STATE_AT]), (guid, 0x07))

    def test_logs_end_done_and_name_our_modules_in_no_warning(self):
        for build_name, (_, log) in self.builds.items():
            with self.subTest(build_name):
                lines = log.read_text(errors="replace").splitlines()
                self.assertIn("- Done -", lines)
                named = [line for line in lines if PROBLEM.search(line) and OURS.search(line)]
                self.assertEqual(named, [])

    def test_uefiextract_lists_the_drivers_in_the_dxe_volume(self):
        build, _ = self.builds["ovmf"]
        report = run_uefiextract(build / "FV" / "OVMF_CODE.fd")
        volumes = [i for i, row in enumerate(report)
                   if row[0] == "Volume" and DXE_VOLUME_NAME in row[-1]]
        self.assertEqual(len(volumes), 1, "DXE volume not found")
        depth = dashes(report[volumes[0]][-1])
        for name, (guid, _) in self.from_source.items():
            with self.subTest(name):
                at = next((i for i, row in enumerate(report)
                           if row[0] == "File" and str(guid).upper() in row[-1]), None)
                self.assertIsNotNone(at, f"{name} not listed")
                owner = max(i for i in range(at) if report[i][0] == "Volume")
                self.assertEqual(owner, volumes[0], f"{name} outside the DXE volume")
                self.assertEqual((report[at][1], dashes(report[at][-1])), ("DXE driver", depth + 1))
                self.assertTrue(report[at][-1].endswith(f"| {name}"), report[at][-1])
                self.assertEqual([row[1] for row in report[at + 1:at + 4]],
                                 ["DXE dependency", "PE32 image", "UI"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
