# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The ec-model device in the rig's QEMU, driven by tiny guests whose every
port access is known: what reaches the model, what the port log holds, the
reset-control register it taps, power cut, exit paths, migration and
refusals."""
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import guest
import rig

HERE = os.path.dirname(os.path.abspath(__file__))
RESET = ("reset", 0, 0)


def out(port, value):
    return ("write", port, value)


def close_at_first_write(server):
    """A model that goes away once the guest runs: at its first write record,
    so QEMU notices after QMP is ready for the SHUTDOWN event."""
    conn = server.accept()[0]
    while (record := conn.recv(4, socket.MSG_WAITALL)) and record[:1] != b"w":
        pass
    conn.close()


def socket_chardev(path):
    return ["-chardev", f"socket,id=ec,path={path}"]


def got(port, value):
    # an "in" step: the read, then the guest's echo of it to port 0x80
    return [("read", port, value), out(0x80, value)]


class Library(unittest.TestCase):
    """model=: the stand-in model answers every read with the last byte
    written plus one, and journals each call to a file written at close."""

    @classmethod
    def setUpClass(cls):
        rig.qemu_path()  # first: its build installs the compiler too
        cls.build = tempfile.TemporaryDirectory(prefix="ec-rig-test-")
        cls.libraries = {}
        for name, version in (("fake", None), ("fake_v2", 2)):
            path = os.path.join(cls.build.name, f"lib{name}.so")
            define = [f"-DFAKE_API_VERSION={version}u"] if version else []
            subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-Wall", "-Werror",
                            "-I", os.path.join(rig.ROOT, "sim"), *define, "-o", path,
                            os.path.join(HERE, "fake_model.c")], check=True)
            cls.libraries[name] = path

    @classmethod
    def tearDownClass(cls):
        cls.build.cleanup()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="ec-rig-run-", dir=self.build.name)
        self.journal = os.path.join(self.work, "journal.txt")
        settings = os.path.join(self.work, "settings.txt")
        with open(settings, "w", encoding="ascii") as f:
            f.write(self.journal + "\n")
        self.model = [f"model={self.libraries['fake']}", f"settings={settings}"]

    def boot(self, steps, extra=(), how="quit"):
        run = rig.Run(self.work, guest.bios(steps), self.model + list(extra))
        status = run.stop(how)
        self.assertEqual(status, 0, run.stderr)
        return run

    def journal_lines(self):
        with open(self.journal, encoding="ascii") as f:
            return f.read().splitlines()

    def test_accesses_in_order(self):
        cases = {
            "EC ports and progress codes": (
                [("out", 0x62, 0x41), ("in", 0x66), ("out", 0x66, 0x80), ("in", 0x62),
                 ("out", 0x80, 0xEB)],
                [out(0x62, 0x41), *got(0x66, 0x42), out(0x66, 0x80), *got(0x62, 0x81),
                 out(0x80, 0xEB)], ()),
            # 0x64 between the EC ports is the keyboard controller's.
            "0x64 is not claimed": (
                [("out", 0x62, 0x10), ("in", 0x64), ("out", 0x66, 0x20)],
                None, ()),
            # The chipset register keeps bits 3 and 1, is read back without
            # reaching the model, and restarts nothing without bit 2.
            "reset control kept bits": (
                [("out", 0xCF9, 0x0B), ("in", 0xCF9), ("out", 0xCF9, 0x02), ("in", 0xCF9),
                 ("out", 0xCF9, 0x01), ("in", 0xCF9)],
                [out(0xCF9, 0x0B), out(0x80, 0x0A), out(0xCF9, 0x02), out(0x80, 0x02),
                 out(0xCF9, 0x01), out(0x80, 0x00)], ()),
            # The EC ports moved by their properties leave 0x62 unclaimed.
            "ports as properties": (
                [("out", 0x68, 0x41), ("in", 0x6C), ("out", 0x62, 0x10)],
                [out(0x68, 0x41), *got(0x6C, 0x42)], ("data-port=0x68", "command-port=0x6c")),
        }
        for name, (steps, expected, options) in cases.items():
            with self.subTest(name):
                self.setUp()
                log = self.boot(steps, options).log()
                self.assertEqual(log[0], RESET)
                if expected is None:
                    self.assertFalse([e for e in log if e[1] == 0x64], log)
                    self.assertEqual([e[:2] for e in log[1:] if e[1] != 0x80],
                                     [("write", 0x62), ("write", 0x66)])
                    continue
                self.assertEqual(log[1:], expected)
                calls = [f"{'r' if k == 'read' else 'w'} 0x{p:x} 0x{v:x}" for k, p, v in expected]
                self.assertEqual(self.journal_lines(), ["x", *calls, "close"])

    def test_restart_through_reset_control(self):
        run = self.boot([("out", 0x80, 0x11), ("restart",), ("out", 0x80, 0x22)])
        self.assertEqual(run.log(), [RESET, out(0x80, 0x11), out(0xCF9, 0x0E), RESET,
                                     out(0x80, 0x11), out(0x80, 0x22)])
        self.assertIn(("RESET", {"guest": True, "reason": "guest-reset"}), run.events)
        self.assertEqual(self.journal_lines().count("x"), 2)

    def test_power_cut(self):
        for cut in (1, 777, 1999):
            with self.subTest(cut=cut):
                self.setUp()
                steps = [("loop", 1000, [("in", 0x66)])]  # 2,000 accesses
                run = rig.Run(self.work, guest.bios(steps),
                              self.model + [f"power-cut-after={cut}"])
                self.assertEqual(run.stop("self"), 0, run.stderr)
                log = run.log()
                self.assertEqual(len(log), 1 + cut + 1)
                self.assertEqual(log[-1], ("power cut", 0, 0))
                self.assertEqual(len(self.journal_lines()), 1 + cut + 1)
                self.assertEqual(self.journal_lines()[-1], "close")
                self.assertIn(("SHUTDOWN", {"guest": False, "reason": "host-signal"}),
                              run.events)

    def test_exit_closes_model_and_flushes_log(self):
        # More records than one log buffer holds, so flushing at exit matters.
        steps = [("loop", 3000, [("in", 0x66)])]
        for how in ("quit", "sigterm"):
            with self.subTest(how):
                self.setUp()
                run = self.boot(steps, how=how)
                self.assertEqual(len(run.log()), 1 + 6000)
                self.assertEqual(self.journal_lines()[-1], "close")

    def test_migration_is_refused(self):
        # The EC's state lives in the model: a migration would lose it.
        run = rig.Run(self.work, guest.bios([("out", 0x80, 0x01)]), self.model)
        reply = run.command("migrate", {"uri": "exec:cat >/dev/null"})
        self.assertEqual(run.stop(), 0, run.stderr)
        self.assertIn("non-migratable device", reply.get("error", {}).get("desc", ""), reply)

    def test_refusals(self):
        missing = os.path.join(self.build.name, "missing.so")
        refusing = os.path.join(self.build.name, "refuse.txt")
        with open(refusing, "w", encoding="ascii") as f:
            f.write("refuse the flash file is unreadable\n")
        null = ["-chardev", "null,id=ec"]
        unconnected = ["-chardev", f"socket,id=ec,path={missing}.sock,server=on,wait=off"]
        cases = {
            "no library": ([f"model={missing}"], (), "cannot load"),
            "other interface version": ([f"model={self.libraries['fake_v2']}"], (),
                                        "interface version 2"),
            "model refuses": ([f"model={self.libraries['fake']}", f"settings={refusing}"], (),
                              "fake model: the flash file is unreadable"),
            "model and chardev": ([f"model={self.libraries['fake']}", "chardev=ec"], null,
                                  "exactly one of"),
            "neither": ([], (), "exactly one of"),
            "settings without model": (["chardev=ec", f"settings={refusing}"], null,
                                       "settings=PATH goes with model=PATH"),
            "chardev not a socket": (["chardev=ec"], null, "must be a socket"),
            "no model connected": (["chardev=ec"], unconnected, "not connected to a model"),
            "no socket": (["chardev=ec"], ["-chardev", f"socket,id=ec,path={missing}"], missing),
        }
        for name, (options, qemu_args, message) in cases.items():
            with self.subTest(name):
                run = rig.Run(self.work, guest.bios([]), options, qemu_args)
                self.assertEqual(run.stop("self"), 1)
                self.assertIn(message, run.stderr)


class Socket(unittest.TestCase):
    """chardev= on a socket: external_model.py as the guard meets it."""

    def test_guard_exchange(self):
        wait = [("in", 0x66)]  # the status read before each byte
        for threshold, value in ((0x80, 0x7F), (0x00, 0xFF)):
            with self.subTest(threshold=threshold, value=value), \
                    tempfile.TemporaryDirectory(prefix="ec-rig-run-") as work:
                sock, seen = os.path.join(work, "ec.sock"), os.path.join(work, "seen.json")
                model = subprocess.Popen(
                    [sys.executable, os.path.join(rig.RIG, "external_model.py"), "--socket", sock,
                     "--register", f"0x93={value:#x}", "--record", seen])
                while not os.path.exists(sock):
                    self.assertIsNone(model.poll())
                    time.sleep(0.02)
                steps = [*wait, ("out", 0x66, 0xAA), *wait, ("out", 0x62, threshold),
                         *wait, ("out", 0x66, 0x80), *wait, ("out", 0x62, 0x93),
                         *wait, ("in", 0x62)]
                run = rig.Run(work, guest.bios(steps), ["chardev=ec"], socket_chardev(sock))
                self.assertEqual(run.stop(), 0, run.stderr)
                self.assertEqual(model.wait(rig.EXIT_TIMEOUT), 0)
                log = run.log()
                self.assertEqual(log[-2:], got(0x62, value))
                self.assertEqual(log[-4:-2], got(0x66, 0x01))  # OBF: the reply waits
                with open(seen, encoding="utf-8") as f:
                    record = json.load(f)
                self.assertEqual(record["guard_threshold"], threshold)
                self.assertEqual(record["register_reads"], [0x93])
                self.assertEqual(record["platform_resets"], 1)
                self.assertEqual(record["violations"], [])

    def test_model_closing_its_socket_fails_qemu(self):
        with tempfile.TemporaryDirectory(prefix="ec-rig-run-") as work:
            path = os.path.join(work, "ec.sock")
            server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            server.bind(path)
            server.listen(1)
            threading.Thread(target=close_at_first_write, args=(server,), daemon=True).start()
            run = rig.Run(work, guest.bios([("out", 0x80, 0x01), ("in", 0x66)]),
                          ["chardev=ec"], socket_chardev(path))
            self.assertEqual(run.stop("self"), 1, run.stderr)
            self.assertIn("closed its socket", run.stderr)
            self.assertIn(("SHUTDOWN", {"guest": False, "reason": "host-error"}), run.events)
            server.close()


if __name__ == "__main__":
    unittest.main()
