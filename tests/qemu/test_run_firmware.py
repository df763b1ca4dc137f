# SPDX-License-Identifier: BSD-2-Clause-Patent
"""`./run firmware` without booting: its refusals through the real front end
(one line, exit status 2, nothing booted, no trace file), the block progress
read from a port log that arrives in pieces, the progress kept off the
console's rows on a terminal, and the "Setup" judgement of a store after a
run."""

import fcntl
import os
import re
import struct
import termios
import shutil
import subprocess
import sys
import tempfile
import unittest

import rig_modules  # noqa: F401  (tools/firmware_run on the path, before the rig's modules)
import fv_images
import fw_summary
from fw_progress import BlockProgress
from status_line import ProgressLine, whole_sequences
from variables import REQUEST, SETUP_ATTRIBUTES, SETUP_GUID, SETUP_SIZE

from port_log import RECORD  # noqa: E402  (tools/qemu_rig, on the path through fw_progress)
from varstore import write_variable  # noqa: E402  (tools/fv, on the path through variables)

FRONT_END = os.path.join(os.path.dirname(os.path.abspath(fw_summary.__file__)), "run_firmware.py")


class RefusalTest(unittest.TestCase):
    def test_bad_input_is_one_line_exit_2_and_nothing_boots(self):
        work = tempfile.mkdtemp(prefix="runfw-test-")
        trace = os.path.join(work, "trace.csv")
        small = os.path.join(work, "small.bin")
        large = os.path.join(work, "large.bin")
        erased = os.path.join(work, "erased.bin")
        for path, size, byte in ((small, 4 << 20, b"\x5a"), (large, 32 << 20, b"\x5a"),
                                 (erased, 16 << 20, b"\xff")):
            with open(path, "wb") as f:
                f.write(byte * size)
        # arguments, words the one line must hold
        cases = [
            (["--io-us", "2"], "--io-us"),
            (["--image", "x.efi"], "--image"),
            (["bench"], "bench"),
            (["--profile"], "--profile"),
            (["--scenario", "second-trigger"], "installs the trigger once"),
            (["--scenario", "nope"], "no scenario named 'nope'"),
            (["--key", "q"], "--key wants CHAR@SECONDS"),
            (["--ec-busy", "101"], "from 0 to 100"),
            (["guard", "--threshold", "0x80", "--register", "0x7f", "--flash-busy", "erase=1"],
             "not to guard"),
            (["--flash-image", small], "above the EC image"),
            (["--flash-image", large], "the board's 16 MiB boot flash, not 33,554,432 bytes"),
            (["--flash-image", erased], "EC region at file offset 0x660000 (0xFF660000) is erased"),
            (["--ec-image", "/nonexistent/ec.bin"], "cannot open /nonexistent/ec.bin"),
            (["--trace", trace, "--ec-image", small], "exactly 131,072 bytes"),
            (["--trace", "/nonexistent/trace.csv"], "cannot write /nonexistent/trace.csv"),
        ]
        for args, words in cases:
            with self.subTest(args=args):
                done = subprocess.run([sys.executable, "-B", FRONT_END, *args], text=True,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.assertEqual(done.returncode, 2, done.stderr)
                self.assertEqual(done.stdout, "", "something ran")
                lines = done.stderr.splitlines()
                self.assertEqual(len(lines), 1, done.stderr)
                self.assertIn(words, lines[0])
        self.assertFalse(os.path.exists(trace), "a refused command line wrote its trace file")
        shutil.rmtree(work)


def record(port, value, kind=b"o"[0]):
    return RECORD.pack(0, port, kind, value, 0)


class BlockProgressTest(unittest.TestCase):
    def test_counts_across_pieces_of_the_log(self):
        # Two blocks: select, erase, blank check, verify each, as the EC sees
        # them, among data bytes equal to the opcodes and status reads.
        block = [record(0x66, 0x01), record(0x66, 0x02), record(0x66, 0xD7),
                 record(0x62, 0xD7), record(0x66, 0x02, b"i"[0]),
                 record(0x66, 0x02), record(0x66, 0x0B), record(0x62, 0x0B),
                 record(0x66, 0x02), record(0x66, 0x0B)]
        data = b"".join(block * 2)
        # cut inside a record and between the two bytes of a pair
        for cut in (RECORD.size * 2 + 5, RECORD.size * 12, len(data) - 1):
            with self.subTest(cut=cut), tempfile.NamedTemporaryFile() as log:
                progress = BlockProgress(log.name)
                log.write(data[:cut])
                log.flush()
                progress.poll()
                log.write(data[cut:])
                log.flush()
                progress.poll()
                self.assertEqual((progress.erased, progress.verifies_started,
                                  progress.verified_so_far()), (2, 2, 1))
                image = bytes(range(256)) * 8
                flash = image[:1024] + b"\0" * 1024
                self.assertEqual(progress.verified(flash, image), 1)


class TerminalTest(unittest.TestCase):
    def test_console_bytes_wait_for_a_whole_escape_sequence(self):
        cases = [(b"EC update", 9), (b"ab\x1b[15;1H", 9), (b"ab\x1b[15;", 2), (b"ab\x1b", 2),
                 (b"\x1b[0mab\x1b[1", 6), (b"ab\x1b7", 4), (b"\x1b[?25l", 6)]
        for data, shown in cases:
            with self.subTest(data=data):
                self.assertEqual(whole_sequences(data), shown)

    def test_progress_has_the_last_row_of_its_own(self):
        master, follower = os.openpty()
        fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 200, 0, 0))
        with os.fdopen(follower, "w") as stream:
            line = ProgressLine(stream)
            line.start()
            line.show(1, 0)
            line.show(2, 1)
            line.finish(128, 128)
        written = b""
        try:
            while chunk := os.read(master, 4096):
                written += chunk
        except OSError:     # the terminal's other end is closed: all is read
            pass
        os.close(master)
        text = written.decode().replace("\r", "")     # the terminal adds one to each new line
        # Every count: cursor saved, row 50, the counts, cursor restored; the
        # final one below the cursor once row 50 is cleared and the whole
        # screen scrolls again.
        on_own_row = re.findall(r"\x1b7\x1b\[50;1H\x1b\[0m\x1b\[2K([^\x1b]*)\x1b8", text)
        self.assertEqual(on_own_row, [ProgressLine.text(1, 0), ProgressLine.text(2, 1), ""])
        self.assertEqual(text.count("EC flash:"), 3, text)
        self.assertLess(text.index("\x1b[1;49r"), text.index("EC flash:"))
        self.assertTrue(text.endswith("\x1b7\x1b[r\x1b8\n" + ProgressLine.text(128, 128) + "\n"), text)


class SetupAfterRunTest(unittest.TestCase):
    def test_the_request_byte_alone_may_change(self):
        before = bytes((i * 7 + 3) % 256 for i in range(SETUP_SIZE))
        cleared = before[:REQUEST] + b"\0" + before[REQUEST + 1:]
        other_changed = cleared[:10] + b"\x55" + cleared[11:]
        # Setup stored after the run (None: absent), its attributes, the
        # plan's expectation, whether that is the protocol's ending, words
        cases = [
            (cleared, SETUP_ATTRIBUTES, cleared, True, "the other 3,179 bytes unchanged"),
            (before, SETUP_ATTRIBUTES, cleared, False, "(expected 0)"),
            (other_changed, SETUP_ATTRIBUTES, cleared, False, "CHANGED"),
            (cleared, 0x3, cleared, False, "attributes 0x3"),
            (cleared[:REQUEST], SETUP_ATTRIBUTES, cleared[:REQUEST], True, "no request byte"),
            (None, None, None, True, "absent"),
            (None, None, cleared, False, "absent"),
            (cleared, SETUP_ATTRIBUTES, None, False, "expected absent"),
        ]
        with tempfile.TemporaryDirectory() as work:
            store = os.path.join(work, "vars.fd")
            for stored, attributes, expected, ok, words in cases:
                with self.subTest(words=words, ok=ok):
                    fv_images.prepare_vars(store, None)
                    if stored is not None:
                        write_variable(store, "Setup", SETUP_GUID, attributes, stored)
                    plan = {"expected": {"setup_after": expected and expected.hex()}}
                    judged, text = fw_summary.setup_line(plan, store)
                    self.assertEqual(judged, ok, text)
                    self.assertIn(words, text)


if __name__ == "__main__":
    unittest.main()
