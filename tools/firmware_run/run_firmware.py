# SPDX-License-Identifier: BSD-2-Clause-Patent
"""`./run firmware`: the whole EC update under the real firmware. The command
line is ./run's, checked by ec_run itself (`ec_run firmware-plan`), which
writes what the run needs; then OVMF with both drivers in its DXE volume
boots in the rig's QEMU from a board's 16 MiB boot flash, with the EC model
behind the EC ports, on this terminal. Keys typed go to the firmware's
console; --key keys are sent their seconds after the prompt appears. QEMU
ends at a power-off, or a moment after the boot manager starts (after the
updater's restart: in the second boot of the same process).
"""

import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import termios
import time
import tty

import ec_device
import fv_images
import fw_progress
import fw_summary
import vm
from ec_device import Ec
from status_line import ProgressLine, whole_sequences
from updater_console import BOOT_MANAGER, PROMPT, UPDATED

import board_flash  # noqa: E402  (tools/fv, on the path through fv_images)

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
EC_RUN = os.path.join(ROOT, "build", "host", "tools", "ec_run", "ec_run")
IMAGE_DIR = os.path.join(ROOT, "build", "image")
LINGER = 0.5        # seconds shown after the boot manager starts
LIMIT = 180.0       # a boot that never gets anywhere
BUSY_LIMIT = 1200.0
EXIT_BAD_INPUT = 2
EXIT_INTERRUPTED = 130     # the shell's status for SIGINT


def plan_run(argv, work):
    """ec_run's plan, or an exit status when it printed help, a list or a refusal."""
    done = subprocess.run([EC_RUN, "firmware-plan", work, *argv])
    path = os.path.join(work, "plan.json")
    if done.returncode != 0 or not os.path.exists(path):
        return done.returncode
    with open(path) as f:
        return json.load(f)


def settings_of(path):
    """The EC model's settings file as ec_device.Ec takes them."""
    settings = {}
    with open(path) as f:
        for line in f:
            if "=" in line:
                key, value = line.split("=", 1)
                settings[key.strip()] = value.strip()
    return settings


def write_board(plan, work, out):
    """The board flash: the drivers' code volume, "Setup", the EC image (or
    the integrator's image with its top 4 MiB replaced)."""
    # This run's own code volume: runs side by side do not share one.
    code = os.path.join(work, "ovmf_with_ec_drivers.fd")
    start = time.monotonic()
    built = fv_images.build_image(code, fv_images.driver_files(IMAGE_DIR, work))
    print(f"code volume    OVMF_CODE_4M.fd + {len(built.added)} files in the DXE volume (both "
          f"drivers, the trigger sample), {time.monotonic() - start:.1f} s", file=out)
    board = os.path.join(work, "board.bin")
    store = os.path.join(work, "vars.fd")
    fv_images.prepare_vars(store, None if plan["setup"] is None else bytes.fromhex(plan["setup"]))
    flash_image = plan["flash_image"]
    ec_image = None if flash_image else os.path.join(work, "ec_image.bin")
    # Where the updater image was built to read the EC image.
    notes = board_flash.build(board, code, ec_image, store, flash_image, plan["ec_image_base"])
    print(f"board flash    {flash_image or '16 MiB'}: " + "; ".join(notes), file=out)
    return board


class Console:
    """The firmware's serial console mirrored here, terminal keys sent to it,
    --key keys sent their seconds after the prompt appears."""

    def __init__(self, guest, keys, out):
        self.guest = guest
        self.keys = sorted(keys, key=lambda k: k["after_prompt_s"])
        self.out = out
        self.shown = 0
        self.prompt_at = None
        self.terminal = sys.stdin.isatty()

    def show(self, everything=False):
        with self.guest.lock:
            new = bytes(self.guest.serial[self.shown:])
        if not everything:
            new = new[:whole_sequences(new)]
        if new:
            self.out.buffer.write(new)
            self.out.buffer.flush()
            self.shown += len(new)

    def send_due_keys(self):
        if not self.keys:
            return
        if self.prompt_at is None:
            found = self.guest.wait_for(PROMPT, time.monotonic())
            if found < 0:
                return
            self.prompt_at = time.monotonic()
        while self.keys and time.monotonic() >= self.prompt_at + self.keys[0]["after_prompt_s"]:
            self.guest.send(self.keys.pop(0)["key"])

    def typed(self):
        if self.terminal and select.select([sys.stdin], [], [], 0)[0]:
            self.guest.send(os.read(sys.stdin.fileno(), 16).decode("latin-1"))


def boot(guest, plan, progress, out):
    console = Console(guest, plan["keys"], out)
    line = ProgressLine()
    saved = termios.tcgetattr(sys.stdin) if console.terminal else None
    if console.terminal:
        tty.setcbreak(sys.stdin)
    end = time.monotonic() + (BUSY_LIMIT if plan["busy"] else LIMIT)
    lingering = False
    try:
        line.start()
        while guest.proc.poll() is None and time.monotonic() < end:
            time.sleep(0.05)
            console.typed()
            console.send_due_keys()
            console.show()
            progress.poll()
            line.show(progress.erased, progress.verified_so_far())
            if not lingering and guest.wait_for_boot(len(guest.resets), BOOT_MANAGER,
                                                     time.monotonic()) >= 0:
                lingering, end = True, min(end, time.monotonic() + LINGER)
        return guest.finish(time.monotonic())
    finally:
        console.show(everything=True)
        progress.poll()
        # The last verify has ended when the update reports success.
        with guest.lock:
            updated = UPDATED.encode() in guest.serial
        line.finish(progress.erased,
                    progress.verifies_started if updated else progress.verified_so_far())
        if console.terminal:
            termios.tcsetattr(sys.stdin, termios.TCSADRAIN, saved)
        # The firmware leaves its colours set: reset them for the shell.
        out.write("\x1b[0m\r\n")
        out.flush()


def write_trace(plan, result, out):
    path = plan["trace"]
    blocks = plan["trace_blocks"]
    # "-": the CSV goes to stdout, the tool's count line to stderr.
    done = subprocess.run([fw_summary.port_log.TOOL, "csv", result.seen.log_path, path,
                           "--boot", "1",
                           *(["--blocks", ",".join(map(str, blocks))] if blocks else [])],
                          stdout=None if path == "-" else subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True)
    words = ((done.stdout or "") + done.stderr).strip()
    print(f"{'trace':<15}{words} to {path}", file=out)
    return done.returncode == 0


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    work = tempfile.mkdtemp(prefix="ecfw-")
    try:
        plan = plan_run(argv, work)
        if not isinstance(plan, dict):
            return plan
        # With the trace on stdout, everything else goes to stderr.
        out = sys.stderr if plan["trace"] == "-" else sys.stdout
        print(f"{'scenario':<15}{plan['scenario']}: {plan['summary']}", file=out)
        ec_device.qemu_binary()     # the rig's QEMU: built on first use, with a progress line
        board = write_board(plan, work, out)
        flash = os.path.join(work, "ec_flash.bin")
        shutil.copyfile(flash, os.path.join(work, "ec_flash_before.bin"))
        print(f"{'booting':<15}QEMU (TCG) + the board flash; press Q at the prompt to skip\n",
              file=out, flush=True)
        ec = Ec(settings_of(os.path.join(work, "ec.settings")))
        guest = vm.Guest(work, vm.BoardFlash(board), ec, None, "run", flash)
        guest.start()
        progress = fw_progress.BlockProgress(guest.device.log)
        try:
            result = boot(guest, plan, progress, out)
        finally:
            guest.kill()
        progress.poll()     # the log is whole once QEMU has ended
        images = [read(os.path.join(work, name))
                  for name in ("ec_image.bin", "ec_flash_before.bin", "expected_flash.bin")]
        ok = fw_summary.report(plan, result, progress, images, board, out)
        print(f"{'wall time':<15}{result.elapsed:.1f} s in QEMU", file=out)
        if plan["trace"]:
            ok = write_trace(plan, result, out) and ok
        return 0 if ok else 1
    except fv_images.Refusal as refusal:  # the image tool's and the board flash's
        print(f"run firmware: {refusal}", file=sys.stderr)
        return EXIT_BAD_INPUT
    except KeyboardInterrupt:
        print("run firmware: interrupted; QEMU stopped", file=sys.stderr)
        return EXIT_INTERRUPTED
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
