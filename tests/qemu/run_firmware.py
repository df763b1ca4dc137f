"""`./run firmware`: builds OVMF with both drivers in its DXE volume and boots
it in QEMU on this terminal, with "Setup" written as asked and the EC model on
the EC ports. Keys typed go to the firmware's console (press Q at the
prompt). QEMU ends by itself: at a restart, at a power-off, or a few seconds
after the boot manager starts.
"""

import argparse
import os
import select
import shutil
import sys
import tempfile
import termios
import time
import tty

import fv_images
import scenarios
import vm
from ec_device import EC_CMD_PORT, EC_DATA_PORT, POST_CODE_PORT, Ec
from fv_scenarios import BOOT_MANAGER

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
IMAGE = os.path.join(ROOT, "build", "firmware", "ovmf_with_ec_drivers.fd")
LINGER = 3.0      # seconds shown after the boot manager starts
LIMIT = 120.0     # a boot that never gets anywhere
OUTCOMES = {"guest-shutdown": "powered off (the guard: EC value below the threshold)",
            "guest-reset": "restarted (the updater's ending)"}


def number(text):
    value = int(text, 0)
    if not 0 <= value <= 0xFF:
        raise argparse.ArgumentTypeError(f"{text} is not a byte")
    return value


def parse(argv):
    parser = argparse.ArgumentParser(
        prog="./run firmware",
        description="Boots OVMF with both drivers built into its DXE volume, in QEMU on this terminal.")
    parser.add_argument("--request", type=int, choices=[0, 1], default=1,
                        help="Setup's update request byte (default 1)")
    parser.add_argument("--guard", type=number, metavar="THRESHOLD",
                        help="enable the guard with this threshold (default: guard off)")
    parser.add_argument("--ec-value", type=number, default=0x00, metavar="BYTE",
                        help="what EC register 0x93 (the guard's) reads (default 0x00)")
    parser.add_argument("--no-setup", action="store_true", help="boot without a Setup variable")
    return parser.parse_args(argv)


def build(image_dir, folder):
    os.makedirs(os.path.dirname(IMAGE), exist_ok=True)
    start = time.monotonic()
    report = fv_images.build_image(IMAGE, fv_images.driver_files(image_dir, folder))
    print(f"image     {os.path.relpath(IMAGE, ROOT)}: OVMF_CODE_4M.fd + {len(report.added)} files "
          f"in the DXE volume, compressed section {report.compressed_before:,} -> "
          f"{report.compressed_after:,} bytes, {time.monotonic() - start:.1f} s")


def show_console(guest, shown):
    with guest.lock:
        new = bytes(guest.serial[shown:])
    if new:
        sys.stdout.buffer.write(new)
        sys.stdout.buffer.flush()
    return shown + len(new)


def boot(guest):
    """Mirrors the console here and sends keys until QEMU ends or lingers out."""
    terminal = sys.stdin.isatty()
    saved = termios.tcgetattr(sys.stdin) if terminal else None
    if terminal:
        tty.setcbreak(sys.stdin)
    shown, end = 0, time.monotonic() + LIMIT
    try:
        while guest.proc.poll() is None and time.monotonic() < end:
            ready = select.select([sys.stdin], [], [], 0.05)[0] if terminal else []
            if ready:
                guest.send(os.read(sys.stdin.fileno(), 16).decode("latin-1"))
            shown = show_console(guest, shown)
            with guest.lock:
                if BOOT_MANAGER.encode() in guest.serial:
                    end = min(end, time.monotonic() + LINGER)
        return guest.finish(time.monotonic())
    finally:
        show_console(guest, shown)
        if terminal:
            termios.tcsetattr(sys.stdin, termios.TCSADRAIN, saved)
        # The firmware leaves its colours set: reset them for the shell.
        sys.stdout.write("\x1b[0m\r\n")


def summary(result, vars_path):
    outcome = OUTCOMES.get(result.exit_reason)
    if outcome is None:
        outcome = ("reached the boot manager" if BOOT_MANAGER in result.text
                   else "stopped after the time limit")
    print(f"outcome   {outcome}, {result.elapsed:.1f} s after power-on")
    for port in (EC_CMD_PORT, EC_DATA_PORT, POST_CODE_PORT):
        captured = result.ports[port]
        print(f"port {port:#04x} {captured.hex(' ') or '(nothing)'}")
    setup = fv_images.read_setup(vars_path)
    print("Setup     " + ("absent" if setup is None else
                          f"update request {setup[scenarios.REQUEST]} after the run"))


def main(argv=None):
    args = parse(argv)
    image_dir = os.path.join(ROOT, "build", "image")
    work = tempfile.mkdtemp(prefix="ecfw-")
    try:
        build(image_dir, work)
        setup = None if args.no_setup else scenarios.setup_bytes(
            args.request, int(args.guard is not None), args.guard or 0)
        vars_path = os.path.join(work, "vars.fd")
        fv_images.prepare_vars(vars_path, setup)
        print("Setup     " + ("absent" if setup is None else
                              f"update request {args.request}, guard "
                              + ("off" if args.guard is None else f"threshold {args.guard:#04x}"))
              + f"; the EC answers {args.ec_value:#04x}")
        print("booting   QEMU + this image; at the prompt press Q to skip the update\n")
        ec = Ec({"register 0x93": f"{args.ec_value:#04x}"})
        guest = vm.Guest(work, vm.SplitFirmware(vars_path, IMAGE), ec)
        guest.start()
        try:
            result = boot(guest)
        finally:
            guest.kill()
        summary(result, vars_path)
    except fv_images.Refusal as refusal:
        print(f"run firmware: {refusal}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
