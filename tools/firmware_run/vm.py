# SPDX-License-Identifier: BSD-2-Clause-Patent
"""One power-on of QEMU + OVMF (TCG): the firmware's flash, the EC device
(ec_device.py), the serial console and QMP.

QMP is a unix socket that QEMU connects to; QEMU starts paused and runs once
QMP is ready. The serial console goes to a file and keys come from a FIFO:
a socket would hold the guest's UART (QEMU keeps the transmit register full
while the socket cannot take a byte, and a unix socket fills after a few
hundred one-byte writes), and the firmware's serial driver gives up on a
byte after 1 s, failing the write with EFI_DEVICE_ERROR. A harness starved
of the processor for that long then lost console text and, once, the UEFI
Shell itself (it failed to start). A file write never waits for a reader.

A board flash boots again in the same process after a platform reset (the
updater's 0xCF9 write): QMP's RESET events mark where on the serial console
each boot begins, the port log's reset records where in the EC's traffic.
"""

import json
import os
import queue
import re
import shutil
import socket
import subprocess
import threading
import time

import ec_device
from fat_disk import write_fat_disk
import variables  # noqa: F401  (puts tools/fv on the path)

import board_flash  # noqa: E402  (tools/fv)

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS.fd"

ANSI_ESCAPE = re.compile(rb"\x1b\[[0-9;?=]*[A-Za-z]")

# QEMU connecting, answering, quitting (it writes the EC's flash, report and
# port log as it goes) and the serial line draining end on their own.
HUNG_PROCESS = ec_device.HUNG_PROCESS
# How often a wait looks at something that signals nothing (the port log's size).
POLL_PERIOD = 0.05


def fresh_variable_store(path):
    shutil.copyfile(OVMF_VARS, path)


class SplitFirmware:
    """OVMF's code volume read-only and a variable store file, as two pflash
    units. A restart ends the run (-no-reboot): every boot is a power-on."""

    def __init__(self, vars_path, code=OVMF_CODE):
        self.code = code
        self.store = vars_path

    def qemu_args(self):
        return ["-machine", "q35", "-no-reboot",
                "-drive", f"if=pflash,format=raw,readonly=on,file={self.code}",
                "-drive", f"if=pflash,format=raw,file={self.store}"]


class BoardFlash:
    """A board's whole 16 MiB boot flash as one writable pflash unit, its
    last byte at 4 GiB - 1. A restart boots again in the same process."""

    def __init__(self, path):
        self.store = path

    def qemu_args(self):
        return ["-machine", f"q35,max-fw-size={board_flash.FLASH_SIZE >> 20}M",
                "-drive", f"if=pflash,format=raw,file={self.store}"]


class BootResult:
    """What one QEMU process left behind, for the scenario's checks. Its
    boots are numbered from 0; a platform reset starts the next one."""

    def __init__(self, serial, chunks, events, resets, seen, timed_out, stopped, elapsed):
        self.serial = serial            # raw serial bytes, escapes included
        self.chunks = chunks            # (seconds since start, end offset in serial)
        self.events = events            # (seconds since start, QMP event dict)
        self.resets = resets            # serial offset at each guest reset
        self.seen = seen                # ec_device.Seen: port log, model report, EC flash
        self.timed_out = timed_out      # the time limit ended the run: the guest hung
        self.stopped = stopped          # the harness ended the run at the boot's stop point
        self.elapsed = elapsed

    @property
    def ports(self):
        """port -> bytes written in the first boot."""
        return self.seen.ports(0)

    @property
    def text(self):
        return ANSI_ESCAPE.sub(b"", self.serial).decode("latin-1")

    def boot_serial(self, boot):
        bounds = [0] + self.resets + [len(self.serial)]
        return self.serial[bounds[boot]:bounds[boot + 1]] if boot + 1 < len(bounds) else b""

    def boot_text(self, boot):
        return ANSI_ESCAPE.sub(b"", self.boot_serial(boot)).decode("latin-1")

    def _guest_shutdown(self):
        for t, event in self.events:
            if event["event"] == "SHUTDOWN" and event["data"]["guest"]:
                return t, event["data"]["reason"]
        return None, None

    @property
    def exit_reason(self):
        """Why the guest ended QEMU ("guest-shutdown", "guest-reset"), or None."""
        return self._guest_shutdown()[1]

    def exit_time(self):
        return self._guest_shutdown()[0]

    def reset_times(self):
        """When each guest reset happened that the process survived."""
        return [t for t, e in self.events
                if e["event"] == "RESET" and e["data"].get("reason") == "guest-reset"]

    def time_of(self, text, start=0):
        """When the serial line first carried text after offset start, or None."""
        offset = self.serial.find(text.encode("latin-1"), start)
        if offset < 0:
            return None
        end = offset + len(text)
        return next(t for t, chunk_end in self.chunks if chunk_end >= end)


class Guest:
    def __init__(self, workdir, firmware, ec, fat_dir=None, tag="boot", ec_flash=None):
        """firmware: SplitFirmware or BoardFlash; ec: ec_device.Ec; fat_dir
        None: no disk, so the boot manager finds nothing to boot; ec_flash:
        the EC flash's file (None: one of this run's own)."""
        self.workdir = workdir
        self.firmware = firmware
        self.fat_dir = fat_dir
        self.tag = tag
        self.device = ec_device.ModelDevice(ec, self._path, ec_flash)
        self.serial = bytearray()
        self.chunks = []
        self.events = []
        self.resets = []
        self.replies = queue.Queue()
        self.lock = threading.Condition()
        self.closed = False
        self.proc = None

    def _path(self, name):
        return os.path.join(self.workdir, f"{self.tag}.{name}")

    def _command_line(self, qmp_sock):
        cmd = [ec_device.qemu_binary(), *self.firmware.qemu_args(), "-accel", "tcg", "-m", "256",
               "-nographic", "-net", "none", "-S"]
        if self.fat_dir is not None:
            disk = self._path("fat.img")
            write_fat_disk(self.fat_dir, disk)
            cmd += ["-drive", f"file={disk},format=raw,media=disk"]
        cmd += [
            "-chardev", "null,id=serial0",  # the file and FIFO replace it before the guest runs
            "-serial", "chardev:serial0",
            "-chardev", f"socket,id=qmp0,path={qmp_sock}",
            "-mon", "chardev=qmp0,mode=control",
        ]
        return cmd + self.device.qemu_args()

    def start(self):
        # A unix socket path must stay under 108 bytes: keep the names short.
        sock_dir = os.path.join(self.workdir, "s")
        os.makedirs(sock_dir, exist_ok=True)
        path = os.path.join(sock_dir, f"{self.tag}.qmp")
        if os.path.exists(path):
            os.unlink(path)
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(path)
        listener.listen(1)
        listener.settimeout(HUNG_PROCESS)
        keys = os.path.join(sock_dir, f"{self.tag}.keys")
        if os.path.exists(keys):
            os.unlink(keys)
        os.mkfifo(keys)
        # Read and write: the open does not wait for QEMU, and QEMU's own
        # read-only open finds a writer.
        self.keys_fd = os.open(keys, os.O_RDWR)
        log = open(self._path("qemu.log"), "wb")
        self.proc = subprocess.Popen(
            self._command_line(path),
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        log.close()
        try:
            self._connect(listener, keys)
        except (OSError, ValueError, queue.Empty) as error:  # time-outs, closed sockets, no QMP
            self.kill()
            os.close(self.keys_fd)
            with open(self._path("qemu.log"), errors="replace") as f:
                raise RuntimeError(f"QEMU did not start: {f.read().strip() or error}") from None
        finally:
            listener.close()

    def _connect(self, listener, keys):
        self.qmp_conn = listener.accept()[0]
        self.qmp_file = self.qmp_conn.makefile("r")
        json.loads(self.qmp_file.readline())  # greeting
        self._qmp("qmp_capabilities")
        changed = self._qmp("chardev-change", id="serial0", backend={
            "type": "file", "data": {"out": self._path("serial.log"), "in": keys}})
        if "error" in changed:
            raise ValueError(f"serial console: {changed['error']}")
        self.serial_file = open(self._path("serial.log"), "rb")
        self.t0 = time.monotonic()
        threading.Thread(target=self._read_serial, daemon=True).start()
        threading.Thread(target=self._read_qmp, daemon=True).start()
        self._send_qmp("cont")
        self.replies.get(timeout=HUNG_PROCESS)

    def _qmp(self, command, **arguments):
        self._send_qmp(command, **arguments)
        while True:
            reply = json.loads(self.qmp_file.readline())
            if "return" in reply or "error" in reply:
                return reply

    def _send_qmp(self, command, **arguments):
        message = {"execute": command}
        if arguments:
            message["arguments"] = arguments
        self.qmp_conn.sendall(json.dumps(message).encode() + b"\n")

    def _read_serial(self):
        """Follows the console file; it is whole once QEMU has ended."""
        while True:
            ended = self.proc.poll() is not None
            data = self.serial_file.read()
            if not data and not ended:
                time.sleep(POLL_PERIOD)
                continue
            with self.lock:
                if not data:
                    self.closed = True
                    self.lock.notify_all()
                    return
                self.serial += data
                self.chunks.append((time.monotonic() - self.t0, len(self.serial)))
                self.lock.notify_all()

    def _console_written(self):
        """How much of the console QEMU has written: the guest's writes reach
        the file before its next instruction, so at a RESET event this is
        where the next boot begins (the firmware is silent on serial for
        seconds after a reset, until its console starts)."""
        return os.fstat(self.serial_file.fileno()).st_size

    def _read_qmp(self):
        try:
            for line in self.qmp_file:
                message = json.loads(line)
                if "event" not in message:
                    self.replies.put(message)
                    continue
                with self.lock:
                    self.events.append((time.monotonic() - self.t0, message))
                    if message["event"] == "RESET" and message["data"].get("guest"):
                        self.resets.append(self._console_written())
                    self.lock.notify_all()
        except OSError:
            pass  # QEMU went away

    def screendump(self, path):
        """Writes the graphics console to path as a PPM image."""
        self._send_qmp("screendump", filename=path)
        reply = self.replies.get(timeout=HUNG_PROCESS)
        if "error" in reply:
            raise RuntimeError(f"screendump: {reply['error']}")

    def send(self, keys):
        os.write(self.keys_fd, keys.encode("latin-1"))

    def wait_for(self, text, deadline, start=0):
        """Waits until the escape-free serial text shows text after offset start; its offset, or -1."""
        with self.lock:
            while True:
                plain = ANSI_ESCAPE.sub(b"", bytes(self.serial)).decode("latin-1")
                found = plain.find(text, start)
                if found >= 0:
                    return found + len(text)
                remaining = deadline - time.monotonic()
                if self.closed or remaining <= 0:
                    return -1
                self.lock.wait(min(remaining, 0.5))

    def wait_exit(self, deadline):
        try:
            self.proc.wait(timeout=max(0, deadline - time.monotonic()))
            return True
        except subprocess.TimeoutExpired:
            return False

    def wait_for_boot(self, boot, text, deadline):
        """Waits for boot number boot (after that many guest resets) to show
        text on serial; its offset in the escape-free text, or -1."""
        with self.lock:
            def begun():
                return len(self.resets) >= boot and len(self.serial) >= self._boot_start(boot)

            if not self.lock.wait_for(lambda: begun() or self.closed,
                                      timeout=max(0, deadline - time.monotonic())):
                return -1
            if not begun():
                return -1
            begin = self._boot_start(boot)
            start = len(ANSI_ESCAPE.sub(b"", bytes(self.serial[:begin])))
        return self.wait_for(text, deadline, start)

    def _boot_start(self, boot):
        return self.resets[boot - 1] if boot else 0

    def wait_for_ec_activity(self, amount, deadline):
        """Waits until the EC device's port log grows by amount bytes from
        now; False if the guest ended or the deadline came first."""
        start = self.device.activity()
        while self.device.activity() - start < amount:
            if self.proc.poll() is not None or time.monotonic() >= deadline:
                return False
            time.sleep(POLL_PERIOD)
        return True

    def finish(self, deadline, stop=False):
        """Ends the run now (stop), or lets the guest run to its own end or
        to the deadline; then collects the result."""
        exited = not stop and self.wait_exit(deadline)
        if not exited:
            try:
                self._send_qmp("quit")
            except OSError:
                pass  # it ended on its own meanwhile
            if not self.wait_exit(time.monotonic() + HUNG_PROCESS):
                self.proc.kill()
                self.proc.wait()
        elapsed = time.monotonic() - self.t0
        with self.lock:
            self.lock.wait_for(lambda: self.closed, timeout=HUNG_PROCESS)
        self.serial_file.close()
        os.close(self.keys_fd)
        self.qmp_conn.close()
        return BootResult(bytes(self.serial), list(self.chunks), list(self.events),
                          list(self.resets), self.device.collect(), not exited and not stop,
                          stop, elapsed)

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
