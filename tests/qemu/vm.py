"""One power-on of QEMU + OVMF (TCG) with the dumb EC on the EC ports.

The dumb EC is three isa-debugcon devices: each captures every byte written to
its port into a file and answers every read with a constant. The serial
console and QMP are unix sockets that QEMU connects to, so nothing is lost
before the harness listens; QEMU starts paused and runs once QMP is ready.
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

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS.fd"

EC_DATA_PORT = 0x62
EC_CMD_PORT = 0x66
POST_CODE_PORT = 0x80
CAPTURED_PORTS = (EC_DATA_PORT, EC_CMD_PORT, POST_CODE_PORT)

# Status 0x01: output buffer full, input buffer empty, so every wait passes.
EC_STATUS_READY = 0x01

ANSI_ESCAPE = re.compile(rb"\x1b\[[0-9;?=]*[A-Za-z]")


def fresh_variable_store(path):
    shutil.copyfile(OVMF_VARS, path)


class BootResult:
    """What one power-on left behind, for the scenario's checks."""

    def __init__(self, serial, chunks, events, ports, timed_out, growth, elapsed):
        self.serial = serial            # raw serial bytes, escapes included
        self.chunks = chunks            # (seconds since start, end offset in serial)
        self.events = events            # (seconds since start, QMP event dict)
        self.ports = ports              # port -> captured bytes
        self.timed_out = timed_out      # the time limit ended the run
        self.growth = growth            # port -> bytes written in the last 0.5 s (time-out only)
        self.elapsed = elapsed

    @property
    def text(self):
        return ANSI_ESCAPE.sub(b"", self.serial).decode("latin-1")

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

    def time_of(self, text):
        """When the serial line first carried text (seconds since start), or None."""
        offset = self.serial.find(text.encode("latin-1"))
        if offset < 0:
            return None
        end = offset + len(text)
        return next(t for t, chunk_end in self.chunks if chunk_end >= end)


class Guest:
    def __init__(self, workdir, fat_dir, vars_path, ec_data, ec_status=EC_STATUS_READY,
                 tag="boot", code=OVMF_CODE):
        """fat_dir None: no disk, so the boot manager finds nothing to boot."""
        self.workdir = workdir
        self.code = code
        self.fat_dir = fat_dir
        self.vars_path = vars_path
        self.ec_data = ec_data
        self.ec_status = ec_status
        self.tag = tag
        self.serial = bytearray()
        self.chunks = []
        self.events = []
        self.replies = queue.Queue()
        self.lock = threading.Condition()
        self.closed = False
        self.proc = None

    def _path(self, name):
        return os.path.join(self.workdir, f"{self.tag}.{name}")

    def port_file(self, port):
        return self._path(f"port{port:02x}.bin")

    def _command_line(self, serial_sock, qmp_sock):
        cmd = [
            "qemu-system-x86_64", "-machine", "q35", "-accel", "tcg", "-m", "256",
            "-nographic", "-no-reboot", "-net", "none", "-S",
            "-drive", f"if=pflash,format=raw,readonly=on,file={self.code}",
            "-drive", f"if=pflash,format=raw,file={self.vars_path}",
        ]
        if self.fat_dir is not None:
            cmd += ["-drive", f"file=fat:rw:{self.fat_dir},format=raw,media=disk"]
        cmd += [
            "-chardev", f"socket,id=serial0,path={serial_sock}",
            "-serial", "chardev:serial0",
            "-chardev", f"socket,id=qmp0,path={qmp_sock}",
            "-mon", "chardev=qmp0,mode=control",
        ]
        for port in CAPTURED_PORTS:
            readback = self.ec_data if port == EC_DATA_PORT else self.ec_status
            cmd += ["-chardev", f"file,id=port{port:x},path={self.port_file(port)}",
                    "-device", f"isa-debugcon,iobase={port:#x},chardev=port{port:x},"
                               f"readback={readback:#x}"]
        return cmd

    def start(self):
        # A unix socket path must stay under 108 bytes: keep the names short.
        sock_dir = os.path.join(self.workdir, "s")
        os.makedirs(sock_dir, exist_ok=True)
        listeners = {}
        for name in ("serial", "qmp"):
            path = os.path.join(sock_dir, f"{self.tag}.{name}")
            if os.path.exists(path):
                os.unlink(path)
            listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            listener.bind(path)
            listener.listen(1)
            listener.settimeout(20)
            listeners[name] = (listener, path)
        log = open(self._path("qemu.log"), "wb")
        self.proc = subprocess.Popen(
            self._command_line(listeners["serial"][1], listeners["qmp"][1]),
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        log.close()
        try:
            self._connect(listeners)
        except (OSError, ValueError, queue.Empty) as error:  # time-outs, closed sockets, no QMP
            self.kill()
            with open(self._path("qemu.log"), errors="replace") as f:
                raise RuntimeError(f"QEMU did not start: {f.read().strip() or error}") from None
        finally:
            for listener, _ in listeners.values():
                listener.close()

    def _connect(self, listeners):
        self.serial_conn = listeners["serial"][0].accept()[0]
        self.qmp_conn = listeners["qmp"][0].accept()[0]
        self.qmp_file = self.qmp_conn.makefile("r")
        json.loads(self.qmp_file.readline())  # greeting
        self._qmp("qmp_capabilities")
        self.t0 = time.monotonic()
        threading.Thread(target=self._read_serial, daemon=True).start()
        threading.Thread(target=self._read_qmp, daemon=True).start()
        self._send_qmp("cont")
        self.replies.get(timeout=10)

    def _qmp(self, command):
        self._send_qmp(command)
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
        while True:
            try:
                data = self.serial_conn.recv(65536)
            except OSError:
                data = b""
            with self.lock:
                if not data:
                    self.closed = True
                    self.lock.notify_all()
                    return
                self.serial += data
                self.chunks.append((time.monotonic() - self.t0, len(self.serial)))
                self.lock.notify_all()

    def _read_qmp(self):
        try:
            for line in self.qmp_file:
                message = json.loads(line)
                if "event" not in message:
                    self.replies.put(message)
                    continue
                with self.lock:
                    self.events.append((time.monotonic() - self.t0, message))
                    self.lock.notify_all()
        except OSError:
            pass  # QEMU went away

    def screendump(self, path):
        """Writes the graphics console to path as a PPM image."""
        self._send_qmp("screendump", filename=path)
        reply = self.replies.get(timeout=10)
        if "error" in reply:
            raise RuntimeError(f"screendump: {reply['error']}")

    def send(self, keys):
        self.serial_conn.sendall(keys.encode("latin-1"))

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

    def _port_sizes(self):
        return {p: os.path.getsize(self.port_file(p)) for p in CAPTURED_PORTS}

    def finish(self, deadline):
        """Lets the guest run to its own end or to the deadline, then collects the result."""
        exited = self.wait_exit(deadline)
        growth = {}
        if not exited:
            before = self._port_sizes()
            time.sleep(0.5)
            after = self._port_sizes()
            growth = {p: after[p] - before[p] for p in CAPTURED_PORTS}
            try:
                self._send_qmp("quit")
            except OSError:
                pass  # it ended on its own meanwhile
            if not self.wait_exit(time.monotonic() + 5):
                self.proc.kill()
                self.proc.wait()
        elapsed = time.monotonic() - self.t0
        with self.lock:
            self.lock.wait_for(lambda: self.closed, timeout=2)
        self.serial_conn.close()
        self.qmp_conn.close()
        with open(self._path("serial.log"), "wb") as f:
            f.write(self.serial)
        ports = {}
        for port in CAPTURED_PORTS:
            with open(self.port_file(port), "rb") as f:
                ports[port] = f.read()
        return BootResult(bytes(self.serial), list(self.chunks), list(self.events), ports,
                          not exited, growth, elapsed)

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
