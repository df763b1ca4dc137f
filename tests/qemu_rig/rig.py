# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Runs the rig's QEMU on a tiny guest for the device tests: QMP on a socket
QEMU waits on, the guest started once QMP is ready, events and command
replies collected, the port log read back after exit."""
import json
import os
import queue
import signal
import socket
import subprocess
import sys
import threading
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
RIG = os.path.join(ROOT, "tools", "qemu_rig")
sys.path.insert(0, RIG)
import port_log  # noqa: E402

EXIT_TIMEOUT = 30.0
_qemu_path = None


def qemu_path():
    global _qemu_path
    if _qemu_path is None:
        _qemu_path = subprocess.run([os.path.join(RIG, "build_qemu.sh")], check=True,
                                    stdout=subprocess.PIPE, text=True).stdout.strip()
    return _qemu_path


class Run:
    """One QEMU process; stop() ends it by QMP quit or SIGTERM, or waits for
    it to end by itself. qemu_args go before the device (a chardev)."""

    def __init__(self, work, bios_image, device_options, qemu_args=()):
        self.work = work
        self.log_path = os.path.join(work, "ports.log")
        bios = os.path.join(work, "bios.bin")
        with open(bios, "wb") as f:
            f.write(bios_image)
        qmp_path = os.path.join(work, "qmp.sock")
        options = ",".join(["ec-model", f"log={self.log_path}"] + device_options)
        self.stderr_path = os.path.join(work, "stderr.txt")
        with open(self.stderr_path, "wb") as stderr:
            self.proc = subprocess.Popen(
                [qemu_path(), "-machine", "q35", "-accel", "tcg", "-m", "64", "-display", "none",
                 "-vga", "none", "-net", "none", "-serial", "none", "-monitor", "none",
                 "-S", "-bios", bios, *qemu_args, "-device", options,
                 "-qmp", f"unix:{qmp_path},server=on,wait=on"],
                stdin=subprocess.DEVNULL, stdout=stderr, stderr=stderr)
        self.events = []
        self.replies = queue.Queue()
        self.qmp = self._connect(qmp_path)

    def _connect(self, path):
        end = time.monotonic() + EXIT_TIMEOUT
        while self.proc.poll() is None and time.monotonic() < end:
            try:
                conn = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                conn.connect(path)
            except OSError:
                time.sleep(0.02)
                continue
            reader = conn.makefile("r")
            try:
                reader.readline()  # greeting
                # Events flow only after capabilities negotiation: the guest,
                # started paused, runs once they do.
                conn.sendall(b'{"execute": "qmp_capabilities"}\n')
                reader.readline()
                conn.sendall(b'{"execute": "cont"}\n')
            except OSError:
                return None  # QEMU refused to start: see stderr
            threading.Thread(target=self._read, args=(reader,), daemon=True).start()
            return conn
        return None  # QEMU refused to start: see stderr

    def _read(self, reader):
        try:
            for line in reader:
                message = json.loads(line)
                if "event" in message:
                    self.events.append((message["event"], message.get("data", {})))
                else:
                    self.replies.put(message)
        except (OSError, ValueError):
            pass  # QEMU closed the socket as it ended

    def command(self, name, arguments):
        """A QMP command's reply: {"return": ...} or {"error": ...}."""
        self.qmp.sendall(json.dumps({"execute": name, "arguments": arguments,
                                     "id": name}).encode() + b"\n")
        while True:  # past the reply to "cont", which has no id
            reply = self.replies.get(timeout=EXIT_TIMEOUT)
            if reply.get("id") == name:
                return reply

    def stop(self, how="quit", after=1.5):
        """Lets the guest run for `after` seconds, then ends QEMU `how`:
        "quit" (QMP), "sigterm", or "self" (QEMU is expected to end alone)."""
        if self.proc.poll() is None and how != "self":
            time.sleep(after)
            if how == "quit":
                self.qmp.sendall(b'{"execute": "quit"}\n')
            else:
                self.proc.send_signal(signal.SIGTERM)
        status = self.proc.wait(EXIT_TIMEOUT)
        time.sleep(0.1)  # the last QMP events
        return status

    @property
    def stderr(self):
        with open(self.stderr_path, encoding="latin-1") as f:
            return f.read()

    def log(self):
        return [(e.kind, e.port, e.value) for e in port_log.read(self.log_path)]
