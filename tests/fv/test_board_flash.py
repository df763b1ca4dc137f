# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The board flash tool: where each part lands in the 16 MiB file, what an
integrator's image keeps, "Setup" read back from the store inside, and the
inputs it refuses without writing anything."""

import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest
import uuid

import board_flash
from varstore import write_variable

REPO = pathlib.Path(__file__).resolve().parents[2]
TOOL = REPO / "tools" / "fv" / "board_flash.py"
VARS = pathlib.Path(board_flash.OVMF_VARS)
MIB = 1 << 20
CODE_SIZE = 4 * MIB - VARS.stat().st_size if VARS.exists() else 0
SETUP_GUID = uuid.UUID("ec87d643-eba4-4bb5-a1e5-3f3e36b20da9")


@unittest.skipUnless(VARS.exists(), f"{VARS} missing")
class BoardFlash(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="boardflash-"))
        cls.code = cls.work / "code.fd"
        cls.code.write_bytes((bytes(range(253)) * (CODE_SIZE // 253 + 1))[:CODE_SIZE])
        cls.ec = cls.work / "ec.bin"
        cls.ec.write_bytes(bytes(range(1, 256, 2)) * (board_flash.EC_IMAGE_SIZE // 128))
        # An integrator's image: every byte says where it is, so a byte
        # moved or lost shows.
        cls.integrator = cls.work / "bios.bin"
        cls.integrator.write_bytes(b"".join(bytes([k % 251]) * 4096 for k in range(4096)))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def run_tool(self, *args):
        return subprocess.run([sys.executable, str(TOOL), *map(str, args)],
                              capture_output=True, text=True, timeout=60)

    def test_layout(self):
        # (the integrator's image or None, EC image or None, where the EC region comes from)
        cases = [(None, self.ec, self.ec), (self.integrator, None, self.integrator),
                 (self.integrator, self.ec, self.ec)]
        vars_at = 12 * MIB
        for base, ec, ec_from in cases:
            with self.subTest(base=base and base.name, ec=ec and ec.name):
                out = self.work / "out.bin"
                args = ["--output", out, "--code", self.code]
                args += ["--flash-image", base] if base else []
                args += ["--ec-image", ec] if ec else []
                result = self.run_tool(*args)
                self.assertEqual(result.returncode, 0, result.stderr)
                flash = out.read_bytes()
                self.assertEqual(len(flash), 16 * MIB)
                source = ec_from.read_bytes()
                ec_region = source[0x660000:0x680000] if ec_from == self.integrator else source
                self.assertEqual(flash[0x660000:0x680000], ec_region)
                self.assertEqual(flash[vars_at:vars_at + VARS.stat().st_size], VARS.read_bytes())
                self.assertEqual(flash[16 * MIB - CODE_SIZE:], self.code.read_bytes())
                below = (0, 0x660000), (0x680000, vars_at)
                for start, end in below:
                    expected = (base.read_bytes()[start:end] if base
                                else b"\xff" * (end - start))
                    self.assertEqual(flash[start:end], expected, f"{start:#x}..{end:#x}")
                if base:
                    self.assertIn("kept the flash image", result.stdout)

    def test_ec_image_where_the_updater_was_built_to_read_it(self):
        # (address, file offset or None: refused)
        cases = [(0xFF000000, 0), (0xFFBE0000, 0xBE0000), (0xFF660400, 0x660400),
                 (0xFEFFFC00, None), (0xFFBE0400, None)]
        code, variables, ec = (p.read_bytes() for p in (self.code, VARS, self.ec))
        for address, at in cases:
            with self.subTest(f"{address:#x}"):
                if at is None:
                    with self.assertRaises(board_flash.Refusal):
                        board_flash.layout(code, variables, ec, ec_address=address)
                    continue
                flash, _ = board_flash.layout(code, variables, ec, ec_address=address)
                self.assertEqual(flash[at:at + len(ec)], ec)
                rest = flash[:at] + flash[at + len(ec):board_flash.FIRMWARE_AT]
                self.assertEqual(rest, b"\xff" * len(rest))

    def test_setup_read_back_from_the_store_inside(self):
        store = self.work / "vars.fd"
        shutil.copyfile(VARS, store)
        data = bytes(i % 251 for i in range(3180))
        write_variable(str(store), "Setup", SETUP_GUID, 7, data)
        out = self.work / "setup.bin"
        board_flash.build(str(out), str(self.code), str(self.ec), str(store))
        variable = board_flash.read_variables(str(out))[("Setup", SETUP_GUID)]
        self.assertEqual((variable.attributes, variable.data), (7, data))

    def test_refusals_write_nothing(self):
        short = self.work / "short.bin"
        short.write_bytes(b"\0" * 1024)
        erased_ec = self.work / "erased_ec.bin"
        erased_ec.write_bytes(b"\xff" * board_flash.EC_IMAGE_SIZE)
        erased_region = self.work / "erased_region.bin"
        image = bytearray(self.integrator.read_bytes())
        image[0x660000:0x680000] = erased_ec.read_bytes()
        erased_region.write_bytes(image)
        cases = [
            ("EC image of 1 KiB", ["--code", self.code, "--ec-image", short], "EC image"),
            ("flash image of 1 KiB", ["--code", self.code, "--flash-image", short],
             "flash image"),
            ("code volume that does not fill 4 MiB", ["--code", short, "--ec-image", self.ec],
             "do not fill"),
            ("no EC image at all", ["--code", self.code], "no EC image"),
            ("an erased EC image", ["--code", self.code, "--ec-image", erased_ec],
             "EC region at 0x660000 (0xff660000) is erased"),
            ("a flash image whose EC region is erased",
             ["--code", self.code, "--flash-image", erased_region], "is erased (all 0xFF)"),
            ("missing input", ["--code", self.work / "absent.fd", "--ec-image", self.ec],
             "absent.fd"),
        ]
        for name, args, reason in cases:
            with self.subTest(name):
                out = self.work / "refused.bin"
                result = self.run_tool("--output", out, *args)
                self.assertEqual(result.returncode, 1)
                self.assertIn(reason, result.stderr)
                self.assertFalse(out.exists())


if __name__ == "__main__":
    unittest.main()
