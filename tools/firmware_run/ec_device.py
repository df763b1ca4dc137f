# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The EC behind ports 0x62 and 0x66 in a QEMU run, and what it saw.

The project's QEMU has the ec-model ISA device: it forwards every access of
ports 0x62, 0x66, 0x80 and 0xCF9 to the EC model (the shared library
in-process, or an external model over a unix socket) and logs each one. A
scenario describes its EC as the model's settings (Ec).
"""

import json
import os
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
RIG = os.path.join(ROOT, "tools", "qemu_rig")
sys.path.insert(0, RIG)

from port_log import PortLog  # noqa: E402  (after the path above)

EC_DATA_PORT = 0x62
EC_CMD_PORT = 0x66
POST_CODE_PORT = 0x80
RESET_CONTROL_PORT = 0xCF9
EC_PORTS = (EC_DATA_PORT, EC_CMD_PORT, POST_CODE_PORT)

MODEL_LIBRARY = os.path.join(ROOT, "build", "host", "sim", "libec_model.so")
EXTERNAL_MODEL = os.path.join(RIG, "external_model.py")
BUILD_QEMU = os.path.join(RIG, "build_qemu.sh")

REGISTER_KEY = "register "

# The last-resort guard for a step that ends on its own (a process starting,
# answering, quitting and writing its files): the wait is for the event; the
# limit only keeps a hung process from hanging the suite.
HUNG_PROCESS = 120


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
    """The project's QEMU, built once per machine."""
    global _qemu
    if _qemu is None:
        _qemu = subprocess.run([BUILD_QEMU], check=True, stdout=subprocess.PIPE,
                               text=True).stdout.strip().splitlines()[-1]
    return _qemu


class Seen:
    """What the EC saw in one QEMU process."""

    def __init__(self, log, report, flash, log_path, settings_path):
        self.log = log                  # PortLog
        self.log_path = log_path
        self.settings_path = settings_path
        self.report = report            # the model's JSON report, or None
        self.flash = flash              # the EC flash at the end, or None

    def ports(self, boot=0):
        """port -> bytes written to it in that boot (every EC port present)."""
        written = self.log.boots[boot].written() if boot < len(self.log.boots) else {}
        return {port: written.get(port, b"") for port in EC_PORTS + (RESET_CONTROL_PORT,)}


class ModelDevice:
    """The ec-model device of one QEMU process: path(name) names its files;
    flash is the EC flash's file, read at the start when it exists and
    written at the end (None: one of this run's own)."""

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
        chardev = []
        if self.ec.external:
            self._start_external()
            chardev = ["-chardev", f"socket,id=ec-model,path={self.socket}"]
            source = "chardev=ec-model"
        else:
            source = f"model={MODEL_LIBRARY},settings={self.settings}"
        cut = self.ec.power_cut_after
        cut = "" if cut is None else f",power-cut-after={cut() if callable(cut) else cut}"
        return chardev + ["-device", f"ec-model,{source},log={self.log}{cut}"]

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
        deadline = time.monotonic() + HUNG_PROCESS
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
                self.model.wait(timeout=HUNG_PROCESS)
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
        return Seen(log, report, flash, self.log, self.settings)
