#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The package as EDK II's toolchains built it: each image an x86-64 EFI
boot-service driver with base relocations and no imports, each dependency
expression the shipped one, and no warning in the build logs.

usage: test_package_builds.py DIR...   (one folder per build, as
tests/edk2/package.sh's package_build leaves it)
"""

import pathlib
import re
import struct
import sys
import unittest
import uuid

REPO = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tools" / "fv"))

import ffs  # noqa: E402
import modules  # noqa: E402
import pe_driver  # noqa: E402

DIRECTORIES_AT = 112          # data directories in the PE32+ optional header
IMPORT_DIRECTORY = 1
RELOCATION_DIRECTORY = 5
WARNING = re.compile(r"\bwarning\b|\berror\b", re.IGNORECASE)
# What EDK II's own CLANGPDB rules say of every module: lld-link of its link
# flags, and make of the .pdb a RELEASE link does not write, which the module
# makefile copies anyway and whose failure it ignores.
EDK2_OWN = re.compile(r"lld-link: warning: /align specified without /driver|"
                      r"\.efi\] Error 1 \(ignored\)$")


def directory(image, index):
    """(RVA, size) of a PE32+ data directory."""
    optional = struct.unpack_from("<I", image, pe_driver.PE_OFFSET_AT)[0] + \
        pe_driver.OPTIONAL_HEADER_AT
    return struct.unpack_from("<II", image, optional + DIRECTORIES_AT + 8 * index)


def required_protocols(depex):
    """The protocols a dependency expression of PUSHes joined by AND requires,
    in order; None for any other expression."""
    protocols, at = [], 0
    while at < len(depex) and depex[at] == ffs.DEPEX_PUSH:
        protocols.append(uuid.UUID(bytes_le=depex[at + 1:at + 17]))
        at += 17
    rest = depex[at:]
    if rest != bytes([ffs.DEPEX_AND] * (len(protocols) - 1) + [ffs.DEPEX_END]) and \
            ffs.depex(*protocols) != depex:
        return None
    return protocols


class PackageBuildsTest(unittest.TestCase):
    builds = []

    def each_image(self):
        for build in self.builds:
            for name, module in modules.MODULES.items():
                with self.subTest(build=build.name, module=name):
                    yield build, name, module

    def test_images_are_relocatable_boot_service_drivers_without_imports(self):
        for build, name, _ in self.each_image():
            image = (build / f"{name}.efi").read_bytes()
            self.assertIsNone(pe_driver.driver_problem(image))
            self.assertNotEqual(directory(image, RELOCATION_DIRECTORY)[1], 0, "no relocations")
            self.assertEqual(directory(image, IMPORT_DIRECTORY)[1], 0, "imports")

    def test_dependencies_require_the_shipped_protocols(self):
        # EDK II writes an all-AND expression as every PUSH, then every AND:
        # the same expression as ours, in other bytes.
        for build, name, module in self.each_image():
            depex = (build / f"{name}.depex").read_bytes()
            self.assertEqual(required_protocols(depex), list(module.depex), depex.hex())

    def test_logs_carry_no_warning(self):
        for build in self.builds:
            with self.subTest(build.name):
                lines = (build / "build.log").read_text(errors="replace").splitlines()
                self.assertIn("- Done -", lines)
                # Compiler command lines name -Werror and the like.
                said = [line for line in lines if WARNING.search(line) and
                        not line.lstrip().startswith('"') and not EDK2_OWN.search(line)]
                self.assertEqual(said, [])


if __name__ == "__main__":
    PackageBuildsTest.builds = [pathlib.Path(arg) for arg in sys.argv[1:]]
    del sys.argv[1:]
    unittest.main(verbosity=2)
