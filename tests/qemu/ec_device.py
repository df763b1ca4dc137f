# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The EC behind ports 0x62 and 0x66 in a QEMU run, and what it saw.

A scenario describes its EC as model settings (Ec). DEVICE chooses what
stands behind the ports, in this one place:
- "model": the project's QEMU with the ec-model ISA device, which forwards
  every access of ports 0x62, 0x66, 0x80 and 0xCF9 to the EC model (the
  shared library in-process, or an external model over a unix socket) and
  logs each one;
- "dumb": stock Debian QEMU with an isa-debugcon per port, capturing the
  bytes written and answering every read with a constant taken from the
  settings. It has no flash and no handshake: only scenarios that end
  before programming can run on it.
"""

import json
import os
import subprocess
import time

from port_log import PortLog

DEVICE = "model"

EC_DATA_PORT = 0x62
EC_CMD_PORT = 0x66
POST_CODE_PORT = 0x80
RESET_CONTROL_PORT = 0xCF9
EC_PORTS = (EC_DATA_PORT, EC_CMD_PORT, POST_CODE_PORT)

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
MODEL_LIBRARY = os.path.join(ROOT, "build", "host", "sim", "libec_model.so")
EXTERNAL_MODEL = os.path.join(ROOT, "tools", "qemu_rig", "external_model.py")
BUILD_QEMU = os.path.join(ROOT, "tools", "qemu_rig", "build_qemu.sh")

# The dumb EC's answers: status 0x01 (a reply waiting, input buffer empty)
# passes every wait at the first read; 0xFF holds the input buffer full.
DUMB_READY, DUMB_BUSY = 0x01, 0xFF
PT_READY = 0x33
REGISTER_KEY = "register "


class Ec:
    """One EC: the model's settings ({key: value}; "register 0x93" style keys
    included), an access count after which standby power is cut (or a
    function that works it out when the run starts), and whether the model
    runs outside QEMU behind a socket."""

    def __init__(self, settings=None, power_cut_after=None, external=False):
        self.settings = dict(settings or {})
        self.power_cut_after = power_cut_after
        self.external = external

    def settings_text(self, extra):
        lines = [f"{key} = {value}" for key, value in {**self.settings, **extra}.items()]
        return "\n".join(lines) + "\n"


_qemu = None


def qemu_binary():
    """The QEMU that has DEVICE; the project's is built once per machine."""
    global _qemu
    if _qemu is None:
        _qemu = "qemu-system-x86_64"
        if DEVICE == "model":
            _qemu = subprocess.run([BUILD_QEMU], check=True, stdout=subprocess.PIPE,
                                   text=True).stdout.strip().splitlines()[-1]
    return _qemu


def attach(ec, path, flash):
    """The device for one QEMU process; path(name) names its files, flash is
    the EC flash's file: read at the start when it exists, written at the end."""
    return ModelDevice(ec, path, flash) if DEVICE == "model" else DumbDevice(ec, path)


class Seen:
    """What the EC saw in one QEMU process."""

    def __init__(self, log=None, ports=None, report=None, flash=None, log_path=None,
                 settings_path=None):
        self.log = log                  # PortLog, or None (dumb EC)
        self.log_path = log_path
        self.settings_path = settings_path
        self.report = report            # the model's JSON report, or None
        self.flash = flash              # the EC flash at the end, or None
        self._ports = ports

    def ports(self, boot=0):
        """port -> bytes written to it in that boot (every EC port present)."""
        written = self._ports if self.log is None else (
            self.log.boots[boot].written() if boot < len(self.log.boots) else {})
        return {port: written.get(port, b"") for port in EC_PORTS + (RESET_CONTROL_PORT,)}


class ModelDevice:
    def __init__(self, ec, path, flash):
        self.ec = ec
        self.settings = path("ec.settings")
        self.log = path("ec.log")
        self.report = path("ec.report.json")
        self.flash = flash or path("ec.flash")
        self.socket = path("ec.sock")
        self.model = None
        self.written = 0

    def qemu_args(self):
        with open(self.settings, "w") as f:
            f.write(self.ec.settings_text({"flash_file": self.flash,
                                           "report_file": self.report}))
        for stale in (self.log, self.report):
            if os.path.exists(stale):
                os.unlink(stale)
        if self.ec.external:
            self._start_external()
            source = f"socket={self.socket}"
        else:
            source = f"model={MODEL_LIBRARY},settings={self.settings}"
        cut = self.ec.power_cut_after
        cut = "" if cut is None else f",power-cut-after={cut() if callable(cut) else cut}"
        return ["-device", f"ec-model,{source},log={self.log}{cut}"]

    def _start_external(self):
        """The minimal external model: registers only; it listens, QEMU connects."""
        registers = []
        for key, value in self.ec.settings.items():
            if not key.startswith(REGISTER_KEY):
                raise ValueError(f"the external EC model has no setting {key!r}")
            registers += ["--register", f"{key.split()[1]}={value}"]
        if os.path.exists(self.socket):
            os.unlink(self.socket)
        self.model = subprocess.Popen(
            ["python3", EXTERNAL_MODEL, "--socket", self.socket, "--record", self.report,
             *registers], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.socket):
            if self.model.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the external EC model did not listen")
            time.sleep(0.05)

    def activity(self):
        """A growing figure while the guest keeps polling the EC."""
        return os.path.getsize(self.log) if os.path.exists(self.log) else 0

    def collect(self):
        if self.model is not None:
            try:
                self.model.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.model.kill()
                self.model.wait()
        report = None
        if os.path.exists(self.report):
            with open(self.report) as f:
                report = json.load(f)
        flash = None
        if os.path.exists(self.flash):
            with open(self.flash, "rb") as f:
                flash = f.read()
        log = PortLog.read(self.log) if os.path.exists(self.log) else PortLog(b"")
        return Seen(log=log, report=report, flash=flash, log_path=self.log,
                    settings_path=self.settings)


class DumbDevice:
    def __init__(self, ec, path):
        self.files = {port: path(f"port{port:02x}.bin") for port in EC_PORTS}
        s = ec.settings
        data = s.get("register 0x93", PT_READY if s.get("flash_busy_forever") else 0x00)
        self.answers = {EC_DATA_PORT: int(str(data), 0),
                        EC_CMD_PORT: DUMB_BUSY if s.get("ec_busy_at_start") else DUMB_READY,
                        POST_CODE_PORT: DUMB_READY}

    def qemu_args(self):
        args = []
        for port, path in self.files.items():
            args += ["-chardev", f"file,id=port{port:x},path={path}",
                     "-device", f"isa-debugcon,iobase={port:#x},chardev=port{port:x},"
                                f"readback={self.answers[port]:#x}"]
        return args

    def activity(self):
        return sum(os.path.getsize(p) for p in self.files.values() if os.path.exists(p))

    def collect(self):
        ports = {}
        for port, path in self.files.items():
            with open(path, "rb") as f:
                ports[port] = f.read()
        return Seen(ports=ports)
