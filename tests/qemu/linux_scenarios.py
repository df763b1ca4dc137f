# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Scenarios with a Linux guest: Debian's kernel, started by OVMF's shell
from a FAT disk through its EFI stub, with an initramfs that mounts efivarfs
and runs ec-setup (tests/linux_guest/). "Setup" is written into the variable
store before the first power-on; every boot of a scenario uses that store, so
what Linux wrote is what the firmware reads at the next power-on.

Boots on Debian's OVMF prove the OS side alone. Boots on the image with both
drivers in its DXE volume (the dumb EC on the EC ports) add what the drivers
make of it: the prompt the request raises and the request cleared, and the
guard the OS enabled powering the machine off during DXE.
"""

import os
import re
import shutil
import subprocess

import ec_protocol as ec
import fv_images
import variables
from fv_scenarios import DRIVERS_IMAGE
from scenarios import (BANNER, PROMPT, ROW_BANNER, ROW_PROMPT, ROW_SKIPPED, SETUP_ATTRIBUTES,
                       SKIPPED, Scenario, check_message, check_ports, check_setup, expected_setup)
from varstore import write_variable  # noqa: E402  (tools/fv, on the path through variables)
from vm import EC_STATUS_READY, Guest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD_GUEST = os.path.join(ROOT, "tests", "linux_guest", "build_guest.sh")
GUEST_FILES = ("vmlinuz", "initrd.img")
# quiet: kernel messages would interleave with ec-setup's output on the one
# serial line; panic=-1: a guest that fails restarts, and QEMU ends;
# io_delay=none: the kernel's default I/O delay writes port 0x80, which the
# dumb EC captures as the drivers' progress codes.
KERNEL_OPTIONS = "console=ttyS0 quiet panic=-1 io_delay=none"

MOUNTED = "EC-GUEST efivarfs mounted"
GUEST_UP = "EC-GUEST up"
KERNEL_STARTED = "vmlinuz initrd="  # the shell echoes the command it starts
COMMAND = re.compile(r"EC-SETUP-BEGIN (\d+) ([^\n]*)\n(.*?)EC-SETUP-END \1 exit (\d+)\n", re.S)
PROBE = re.compile(r"EC-PROBE-BEGIN\n(.*?)EC-PROBE-END", re.S)

NV_BS = 0x3  # the variable without runtime access: the OS cannot see it


class LinuxBoot:
    """One power-on that starts Linux: the ec-setup commands it runs (each a
    string of words), how Linux ends, and keys as scenarios.Boot has them.
    image None: Debian's OVMF; otherwise a built image (fv_scenarios)."""

    def __init__(self, commands, end="poweroff", probe=False, image=None, ec_data=0x00,
                 keys=(), limit=120):
        self.commands = list(commands)
        self.end = end
        self.probe = probe
        self.image = image
        self.ec_data = ec_data
        self.ec_status = EC_STATUS_READY
        self.keys = list(keys) + [("Press ESC", " ")]  # the shell's startup countdown
        self.stop_after = None
        self.limit = limit

    def command_line(self):
        commands = ",".join(c.replace(" ", ":") for c in self.commands)
        return (f"vmlinuz initrd=\\initrd.img {KERNEL_OPTIONS} ecsetup={commands} "
                f"ecsetup.end={self.end}" + (" ecsetup.probe=1" if self.probe else ""))


class LinuxScenario(Scenario):
    """setup: Setup's bytes before the first power-on (None: absent)."""

    def __init__(self, name, setup, boots, check, attributes=SETUP_ATTRIBUTES):
        super().__init__(name, boots, check, "linux")
        self.setup = setup
        self.attributes = attributes


class Ran:
    def __init__(self, words, status, output):
        self.words, self.status, self.output = words, status, output


def commands_run(run):
    """The ec-setup commands a boot ran, in order."""
    text = run.text.replace("\r", "")
    return [Ran(m[2], int(m[4]), m[3]) for m in COMMAND.finditer(text)]


def probe_lines(run):
    found = PROBE.search(run.text.replace("\r", ""))
    return found[1].splitlines() if found else []


_guest_folder = []


def guest_folder():
    """The kernel and initramfs, built once per machine (and found once per run)."""
    if not _guest_folder:
        built = subprocess.run([BUILD_GUEST], check=True, stdout=subprocess.PIPE, text=True)
        _guest_folder.append(built.stdout.strip().splitlines()[-1])
    return _guest_folder[0]


def write_fat_folder(folder, boot):
    os.makedirs(folder)
    for name in GUEST_FILES:
        shutil.copy(os.path.join(guest_folder(), name), folder)
    with open(os.path.join(folder, "startup.nsh"), "w", newline="\r\n") as f:
        f.write(f"fs0:\n{boot.command_line()}\n")


def run_boots(scenario, workdir, drive, images):
    """Every power-on of the scenario on one store; drive is suite.drive."""
    vars_path = os.path.join(workdir, "vars.fd")
    fv_images.prepare_vars(vars_path, None)
    if scenario.setup is not None:
        write_variable(vars_path, "Setup", variables.SETUP_GUID, scenario.attributes,
                       scenario.setup)
    runs = []
    for number, boot in enumerate(scenario.boots, 1):
        fat = os.path.join(workdir, f"fat{number}")
        write_fat_folder(fat, boot)
        code = fv_images.OVMF_CODE if boot.image is None else images.path(boot.image)
        guest = Guest(workdir, fat, vars_path, boot.ec_data, boot.ec_status,
                      tag=f"boot{number}", code=code)
        runs.append(drive(guest, boot, workdir, vars_path, number))
    return runs


# ---- checks ---------------------------------------------------------------------------

def check_linux(c, run, boot, n, expected):
    """expected: (exit status, pattern its output must match) for each command."""
    c.that(MOUNTED in run.text, f"boot {n}: efivarfs not mounted")
    c.equal(run.exit_reason, "guest-reset" if boot.end == "reboot" else "guest-shutdown",
            f"boot {n}: QMP shutdown reason")
    ran = commands_run(run)
    c.equal([r.words for r in ran], [f"ec-setup {w}" if not w.startswith("as-nobody ")
                                     else f"as nobody: ec-setup {w[10:]}" for w in boot.commands],
            f"boot {n}: commands run")
    for r, (status, pattern) in zip(ran, expected):
        c.equal(r.status, status, f"boot {n}: exit status of {r.words!r}")
        c.that(re.search(pattern, r.output), f"boot {n}: {r.words!r} printed {r.output!r}, "
                                             f"not matching {pattern!r}")
    started, up, end = run.time_of(KERNEL_STARTED), run.time_of(GUEST_UP), run.exit_time()
    if None not in (started, up, end):
        c.note(f"boot {n}: kernel started at {started:.1f} s, its init at {up:.1f} s, "
               f"{run.exit_reason} at {end:.1f} s")


def check_store_unchanged(c, run, scenario):
    variable = variables.setup_variable(run.vars_path)
    if scenario.setup is None:
        c.that(variable is None, "Setup appeared")
        return
    c.that(variable is not None, "Setup missing after the run")
    if variable is not None:
        c.equal(variable.attributes, scenario.attributes, "Setup attributes")
        c.equal(variable.data, scenario.setup, "Setup contents")


# ---- on Debian's OVMF ----------------------------------------------------------------

REQUEST_SET = r"set byte 3172 \(update request\) 0x00 -> 0x01; read back 3180 bytes, " \
              r"attributes 0x00000007, as written\nnote: .*5-second prompt.*restarts"


def request_then_cancel():
    """Linux requests the update and reboots; the next power-on finds the
    request in the store, cancels it and sets the guard. Each store after a
    boot holds exactly the bytes written, every other one as before."""
    first = LinuxBoot(["show", "request-update", "show --json"], end="reboot")
    second = LinuxBoot(["show", "cancel-update", "guard on 0xFF", "guard off", "show"], probe=True)

    def check(c, runs):
        check_linux(c, runs[0], first, 1, [
            (0, r"size        3180 bytes\n.*\nattributes  0x00000007 .*\n"
                r"update      not requested \(byte 3172 = 0x00\)\nguard       off .*threshold 66"),
            (0, REQUEST_SET),
            (0, r'"update_requested": true, "guard_enable": 0, .*"guard_threshold": 66}')])
        check_setup(c, runs[0].vars_path, expected_setup(1, 0, 0x42))
        check_linux(c, runs[1], second, 2, [
            (0, r"update      requested \(byte 3172 = 0x01\)"),
            (0, r"byte 3172 \(update request\) 0x01 -> 0x00"),
            (0, r"byte 3176 \(guard enable\) 0x00 -> 0x01, byte 3177 \(guard threshold\) "
                r"0x42 -> 0xFF"),
            (0, r"byte 3176 \(guard enable\) 0x01 -> 0x00"),
            (0, r"update      not requested .*\nguard       off \(byte 3176 = 0x00\), threshold 255")])
        check_setup(c, runs[1].vars_path, expected_setup(0, 0, 0xFF))
        immutable = re.search(r"file        (.*)", runs[0].text.replace("\r", ""))
        c.note(f"efivarfs: {immutable[1] if immutable else 'no file line'}")
        probe = probe_lines(runs[1])
        replaced = [line for line in probe if "one write of 4+3 bytes" in line]
        c.that(any("efivarfs   -> 7 bytes" in line for line in replaced),
               f"efivarfs did not replace the variable with a shorter write: {replaced}")
        c.that(any("plain file -> 14 bytes" in line for line in replaced),
               f"the plain file did not keep its tail: {replaced}")

    return LinuxScenario("linux_request_update_then_cancel", expected_setup(0, 0, 0x42),
                         [first, second], check)


def filler(size):
    return bytes(i % 251 for i in range(size))


# name, Setup (None: absent), its attributes, commands with (exit status, output pattern)
REFUSAL_CASES = [
    ("linux_setup_absent_refused", None, SETUP_ATTRIBUTES,
     [("show", 2, r"no Setup variable: /sys/firmware/efi/efivars/Setup-ec87d643"),
      ("request-update", 2, r"no Setup variable")]),
    ("linux_setup_without_runtime_access_unseen", expected_setup(0, 0, 0), NV_BS,
     [("request-update", 2, r"no Setup variable")]),
    ("linux_setup_3172_bytes_refused", filler(3172), SETUP_ATTRIBUTES,
     [("request-update", 2, r"3172 bytes: the update request is byte 3172, so it needs at least 3173"),
      ("guard on 1", 2, r"the guard enable is byte 3176, so it needs at least 3177"),
      ("show", 0, r"update      absent: the variable ends before byte 3172")]),
    ("linux_setup_3181_bytes_refused", filler(3181), SETUP_ATTRIBUTES,
     [("request-update", 2, r"3181 bytes, larger than the drivers' 3180-byte buffer"),
      ("guard on 256", 2, r"threshold '256' is out of 0..255"),
      ("show --json", 0, r'"size": 3181, .*"drivers_can_read": false, "update_request": null')]),
    ("linux_not_root_refused", expected_setup(0, 0, 0), SETUP_ATTRIBUTES,
     [("as-nobody request-update", 2, r"the write was refused \(.*\): a locked variable, or not root"),
      ("as-nobody show", 0, r"update      not requested")]),
]


def refusal(name, setup, attributes, commands):
    """Refused commands print one line, exit 2 and leave the store as it was."""
    boot = LinuxBoot([words for words, _, _ in commands])

    def check(c, runs):
        check_linux(c, runs[0], boot, 1, [(status, pattern) for _, status, pattern in commands])
        for r, (_, status, _) in zip(commands_run(runs[0]), commands):
            if status == 2:
                c.equal(r.output.count("\n"), 1, f"lines printed by refused {r.words!r}")
        check_store_unchanged(c, runs[0], scenario)

    scenario = LinuxScenario(name, setup, [boot], check, attributes)
    return scenario


# ---- on the image with both drivers in its DXE volume ------------------------------------

def drivers_see_what_linux_wrote():
    """Linux requests the update; at the next power-on the updater's prompt
    comes up (Q skips it, as the dumb EC could not take an update) and clears
    the request, and the same boot goes on into Linux, which finds it cleared
    and enables the guard at 0xFF. At the power-on after that the EC reads
    0x7F, below the threshold: the guard powers off during DXE."""
    first = LinuxBoot(["request-update"], end="reboot", image=DRIVERS_IMAGE)
    second = LinuxBoot(["show", "guard on 0xFF"], image=DRIVERS_IMAGE, keys=[(PROMPT, "q")])
    third = LinuxBoot([], image=DRIVERS_IMAGE, ec_data=0x7F)

    def check(c, runs):
        check_linux(c, runs[0], first, 1, [(0, REQUEST_SET)])
        check_setup(c, runs[0].vars_path, expected_setup(1, 0, 0x42))
        check_message(c, runs[1], ROW_BANNER, BANNER)
        check_message(c, runs[1], ROW_PROMPT, PROMPT)
        check_message(c, runs[1], ROW_SKIPPED, SKIPPED, more_may_follow=True)
        check_ports(c, runs[1], ec.updater_skip())
        check_linux(c, runs[1], second, 2, [
            (0, r"update      not requested \(byte 3172 = 0x00\)"),
            (0, r"byte 3176 \(guard enable\) 0x00 -> 0x01, byte 3177 \(guard threshold\) "
                r"0x42 -> 0xFF")])
        check_setup(c, runs[1].vars_path, expected_setup(0, 1, 0xFF))
        run = runs[2]
        check_ports(c, run, ec.guard_check(0xFF))
        c.equal(run.exit_reason, "guest-shutdown", "boot 3: QMP shutdown reason")
        c.that(GUEST_UP not in run.text and "Shell>" not in run.text,
               "boot 3: the boot went on past the guard")
        if run.exit_time() is not None:
            c.note(f"boot 3: powered off {run.exit_time():.1f} s after power-on")
        check_setup(c, run.vars_path, expected_setup(0, 1, 0xFF))

    return LinuxScenario("linux_drivers_see_request_and_guard", expected_setup(0, 0, 0x42),
                         [first, second, third], check)


SCENARIOS = ([request_then_cancel()] + [refusal(*case) for case in REFUSAL_CASES]
             + [drivers_see_what_linux_wrote()])
