# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Runs the firmware-level scenarios and reports each one's result and time.

usage: suite.py IMAGE_DIR [--group shell|dispatched|volume|board|edk2|linux] [--keep DIR] [NAME...]
"""

import argparse
import concurrent.futures
import os
import shutil
import sys
import tempfile
import threading
import time

import rig_modules  # noqa: F401  (tools/firmware_run on the path, before the rig's modules)
import board_scenarios
import ec_device
import edk2_scenarios
import fv_images
import fv_scenarios
import linux_scenarios
import scenarios
import vm

IMAGES = ("ec_flash_updater.efi", "ec_threshold_guard.efi", "setup_tool.efi")
VOLUME_GROUPS = ("volume", "board", edk2_scenarios.GROUP)   # scenarios that boot a board flash
# Run only when asked for by group or name (they boot Debian's kernel), but for
# linux_scenarios.IN_DEFAULT_SUITE, the end-to-end pair.
OPT_IN_GROUPS = (linux_scenarios.GROUP,)
PARALLEL = 2


def write_fat_folder(folder, image_dir, script):
    os.makedirs(folder)
    for image in IMAGES:
        shutil.copy(os.path.join(image_dir, image), folder)
    lines = ["fs0:"] + script + [f"echo {scenarios.END_MARK}", "reset -s"]
    with open(os.path.join(folder, "startup.nsh"), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def run_boot(workdir, image_dir, vars_path, boot, number, ec_flash):
    fat = os.path.join(workdir, f"fat{number}")
    write_fat_folder(fat, image_dir, boot.script)
    guest = vm.Guest(workdir, vm.SplitFirmware(vars_path), boot.ec, fat, f"boot{number}", ec_flash)
    return drive(guest, boot, workdir, vars_path, number)


def run_volume_boot(workdir, images, boot, number, ec_flash):
    flash_path = os.path.join(workdir, "board.bin")
    if not boot.same_flash:
        fv_images.write_board_flash(flash_path, images.path(boot.image), images.ec_image,
                                    boot.setup, boot.vars_base)
    guest = vm.Guest(workdir, vm.BoardFlash(flash_path), boot.ec, None, f"boot{number}", ec_flash)
    return drive(guest, boot, workdir, flash_path, number)


def drive(guest, boot, workdir, store_path, number):
    """Runs one power-on: keys sent when their text appears, then on to the
    guest's own end or to the boot's stop point (its text, then as much EC
    traffic as it holds for). The time limit only guards against a hung
    guest: a run it ends has failed."""
    try:
        guest.start()
        deadline = time.monotonic() + boot.limit
        seen = 0
        for text, keys in boot.keys:
            seen = guest.wait_for(text, deadline, seen)
            if seen < 0:
                break
            guest.send(keys)
        stop = (seen >= 0 and boot.stop_at is not None
                and guest.wait_for_boot(boot.stop_in_boot, boot.stop_at, deadline) >= 0
                and guest.wait_for_ec_activity(boot.hold_ec_bytes, deadline))
        result = guest.finish(deadline, stop)
    finally:
        guest.kill()
    result.vars_path = os.path.join(workdir, f"boot{number}.store")
    shutil.copyfile(store_path, result.vars_path)
    return result


class BuiltImages:
    """The firmware images of the volume scenarios, each built once per suite
    run, in the background from the start: the compression (LZMA releases the
    interpreter lock) overlaps the boots of the scenarios before them."""

    BUILDERS = {fv_scenarios.DRIVERS_IMAGE: fv_images.driver_files,
                fv_scenarios.UNMET_IMAGE: fv_images.unmet_dependency_files,
                fv_scenarios.LOCKED_IMAGE: fv_images.locked_setup_files}

    def __init__(self, image_dir, folder, names):
        self.image_dir = image_dir
        self.folder = folder
        self.ec_image = os.path.join(folder, "ec_image.bin")
        with open(self.ec_image, "wb") as f:
            f.write(fv_images.ec_image(fv_images.INSTALLED_EC_IMAGE))
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=1)
        self.builds = {name: self.pool.submit(self._build, name) for name in names}
        self.reported = set()
        self.lock = threading.Lock()

    def _build(self, name):
        start = time.monotonic()
        path = os.path.join(self.folder, f"{name}.fd")
        report = fv_images.build_image(path, self.BUILDERS[name](self.image_dir, self.folder))
        note = (f"image {name}: {len(report.added)} files added, compressed section "
                f"{report.compressed_before:,} -> {report.compressed_after:,} bytes, "
                f"built in {time.monotonic() - start:.1f} s")
        return path, note

    def path(self, name):
        """A code volume: one the suite builds, by name, or a file's path."""
        if name not in self.builds:
            return name
        path, note = self.builds[name].result()
        with self.lock:
            if name not in self.reported:
                print(note, flush=True)
                self.reported.add(name)
        return path

    def close(self):
        self.pool.shutdown(cancel_futures=True)


def run_scenario(scenario, image_dir, workdir, images):
    ec_flash = os.path.join(workdir, "ec_flash.bin")
    if scenario.ec_flash is not None:
        with open(ec_flash, "wb") as f:
            f.write(scenario.ec_flash)
    if scenario.group == linux_scenarios.GROUP:
        runs = linux_scenarios.run_boots(scenario, workdir, drive, images, ec_flash)
    elif scenario.group in VOLUME_GROUPS:
        if scenario.group == edk2_scenarios.GROUP:
            edk2_scenarios.built_firmware()
        runs = [run_volume_boot(workdir, images, boot, n, ec_flash)
                for n, boot in enumerate(scenario.boots, 1)]
    else:
        vars_path = os.path.join(workdir, "vars.fd")
        vm.fresh_variable_store(vars_path)
        runs = [run_boot(workdir, image_dir, vars_path, boot, n, ec_flash)
                for n, boot in enumerate(scenario.boots, 1)]
    checks = scenarios.Checks()
    scenarios.check_every_boot(checks, runs, scenario.boots)
    scenario.check(checks, runs)
    return checks


def timed(scenario, image_dir, keep, images):
    """Runs one scenario in a folder of its own: (failures, notes, seconds, folder)."""
    workdir = tempfile.mkdtemp(prefix="ecq-", dir=keep)
    start = time.monotonic()
    try:
        checks = run_scenario(scenario, image_dir, workdir, images)
        failures, notes = checks.failures, checks.notes
    except Exception as error:  # a harness or QEMU failure fails the scenario
        failures, notes = [f"{type(error).__name__}: {error}"], []
    seconds = time.monotonic() - start
    if keep is None:
        if failures:  # the consoles stay for a look: build/qemu-failures/NAME/
            kept = os.path.join(os.path.dirname(os.path.abspath(image_dir)), "qemu-failures",
                                scenario.name)
            shutil.rmtree(kept, ignore_errors=True)
            shutil.copytree(workdir, kept, ignore=lambda folder, names: [
                n for n in names if not n.endswith(("serial.log", "qemu.log", ".json")) and
                not os.path.isdir(os.path.join(folder, n))])
        shutil.rmtree(workdir, ignore_errors=True)
    return failures, notes, seconds, workdir


def report(scenario, failures, notes, seconds, workdir, keep):
    """Prints one scenario's result; its failures."""
    verdict = "FAIL" if failures else "PASS"
    detail = f"  ({'; '.join(notes)})" if notes else ""
    print(f"{verdict}  {scenario.name:<48} {seconds:5.1f} s{detail}", flush=True)
    for failure in failures:
        print(f"      {failure}", flush=True)
    if keep is not None:
        print(f"      files: {workdir}")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("image_dir")
    parser.add_argument("--group", choices=["shell", "dispatched", "volume", "board",
                                            edk2_scenarios.GROUP, linux_scenarios.GROUP],
                        help="only the scenarios loaded from the shell, dispatched from "
                             "Driver####, built into the firmware volume, the whole update "
                             "on a board's flash, on OVMF built by EDK II, or with a Linux "
                             "guest (linux: run only when asked for)")
    parser.add_argument("--keep", help="keep each scenario's files under this folder")
    parser.add_argument("names", nargs="*")
    args = parser.parse_intermixed_args()

    chosen = [s for s in scenarios.SCENARIOS + fv_scenarios.SCENARIOS + board_scenarios.SCENARIOS
              + edk2_scenarios.SCENARIOS + linux_scenarios.SCENARIOS
              if (not args.names or s.name in args.names)
              and (s.group == args.group if args.group
                   else args.names or s.group not in OPT_IN_GROUPS
                   or s.name in linux_scenarios.IN_DEFAULT_SUITE)]
    passed = failed = 0
    suite_start = time.monotonic()
    image_folder = tempfile.mkdtemp(prefix="ecfv-", dir=args.keep)
    images = BuiltImages(args.image_dir, image_folder,
                         sorted(({boot.image for s in chosen if s.group in VOLUME_GROUPS
                                  for boot in s.boots}
                                 | {s.image for s in chosen if s.group == linux_scenarios.GROUP})
                                & set(BuiltImages.BUILDERS)))
    ec_device.qemu_binary()  # built once, before two scenarios could both ask
    # Each guest is one TCG thread: two scenarios at a time fill two cores.
    # A scenario passes or fails on its one run: a failure is never run again.
    with concurrent.futures.ThreadPoolExecutor(max_workers=PARALLEL) as pool:
        runs = {pool.submit(timed, s, args.image_dir, args.keep, images): s for s in chosen}
        for done in concurrent.futures.as_completed(runs):
            if report(runs[done], *done.result(), args.keep):
                failed += 1
            else:
                passed += 1
    images.close()
    if args.keep is None:
        shutil.rmtree(image_folder, ignore_errors=True)
    print(f"QEMU suite time {time.monotonic() - suite_start:.1f} s")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed or not chosen else 0


if __name__ == "__main__":
    sys.exit(main())
