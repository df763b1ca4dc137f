# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Scenarios with a Linux guest: Debian's kernel, started by OVMF's shell
from a FAT disk through its EFI stub, with an initramfs that mounts efivarfs
and runs ec-setup (tests/linux_guest/). Each power-on boots a board flash with
the EC model behind the ports; "Setup" is written into its variable store
before the first power-on, so what Linux wrote is what the firmware reads at
the next boot. A reboot from Linux boots again in the same QEMU process, as a
machine does: each Linux start of a power-on runs its own commands, told
apart by a marker file the shell writes on the disk before it starts Linux.

QEMU appends the guest's SSDT (tests/linux_guest/ec_ssdt.asl) to its ACPI
tables, so Linux's own ACPI EC driver takes the EC model on ports 0x62/0x66
and ec_sys shows its registers: ec-setup checks the guard against register
0x93 as the model holds it, and each boot's EC traffic from Linux is standard
ACPI EC commands the model answers without a protocol violation.

Boots on Debian's OVMF prove the OS side alone. Boots on the image with both
drivers in its DXE volume add what the drivers make of it: the whole update
the request raises, the guard the OS enabled powering the machine off during
DXE, the prompt's skip.
"""

import collections
import os
import re
import shutil
import subprocess

import board_scenarios
import ec_protocol as ec
import fv_images
import variables
import vm
from board_scenarios import OLD, check_whole_update
from ec_device import EC_CMD_PORT, EC_DATA_PORT, EC_PORTS, POST_CODE_PORT, RESET_CONTROL_PORT, Ec
from fv_scenarios import DRIVERS_IMAGE
from scenarios import (BANNER, MESSAGES, PROMPT, ROW_BANNER, ROW_PROMPT, ROW_SKIPPED,
                       SETUP_ATTRIBUTES, SKIPPED, STARTING, UPDATED, Scenario, check_message,
                       check_setup, expected_setup)
from varstore import write_variable  # noqa: E402  (tools/fv, on the path through variables)

import board_flash  # noqa: E402  (tools/fv)

GROUP = "linux"
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD_GUEST = os.path.join(ROOT, "tests", "linux_guest", "build_guest.sh")
GUEST_FILES = ("vmlinuz", "initrd.img")
EC_TABLE = "ec.aml"  # the SSDT declaring the EC, handed to QEMU rather than put on the disk
# quiet: kernel messages would interleave with ec-setup's output on the one
# serial line; panic=-1: a guest that fails restarts; io_delay=none: the
# kernel's default I/O delay writes port 0x80, which the EC device takes as
# the drivers' progress codes.
KERNEL_OPTIONS = "console=ttyS0 quiet panic=-1 io_delay=none"
SHELL_COUNTDOWN = ("Press ESC", " ")
NO_START_LEFT = "EC-GUEST no start left"

MOUNTED = "EC-GUEST efivarfs mounted"
GUEST_UP = "EC-GUEST up"
KERNEL_STARTED = "vmlinuz initrd="  # the shell echoes the command it starts
COMMAND = re.compile(r"EC-SETUP-BEGIN (\d+) ([^\n]*)\n(.*?)EC-SETUP-END \1 exit (\d+)\n", re.S)
PROBE = re.compile(r"EC-PROBE-BEGIN\n(.*?)EC-PROBE-END", re.S)
EC_IO = re.compile(r"EC-IO-BEGIN\n(.*?)EC-IO-END", re.S)

# The EC's register file in every Linux scenario: each register a value of
# its own (an odd multiplier walks all 256), so a register read from the
# wrong address shows; register 0x93, the guard's, below 0xFF.
GUARD_READING = 0x7F
REGISTERS = [(i * 0x65 + 0x3C) & 0xFF for i in range(256)]
REGISTERS[ec.GUARD_REGISTER] = GUARD_READING
REGISTER_SETTINGS = {f"register {i:#04x}": f"{v:#04x}" for i, v in enumerate(REGISTERS)}
# The ACPI EC commands an OS driver may send: read, write, burst on and off, query.
ACPI_EC_COMMANDS = {0x80: "read", 0x81: "write", 0x82: "burst on", 0x83: "burst off",
                    0x84: "query"}

NV_BS = 0x3  # the variable without runtime access: the OS cannot see it
# A guard against a hung guest: Linux starts twice and the firmware runs the
# whole update in between, a few minutes at most beside other work.
LIMIT = 600


class LinuxStart:
    """One start of Linux: the ec-setup commands it runs (each a string of
    words) and how it ends."""

    def __init__(self, commands, end="poweroff", probe=False, ec_io=False):
        self.commands = list(commands)
        self.end = end
        self.probe = probe
        self.ec_io = ec_io  # print the 256 registers ec_sys reads

    def command_line(self):
        commands = ",".join(c.replace(" ", ":") for c in self.commands)
        return (f"vmlinuz initrd=\\initrd.img {KERNEL_OPTIONS} ecsetup={commands} "
                f"ecsetup.end={self.end}" + (" ecsetup.probe=1" if self.probe else "")
                + (" ecsetup.ecio=1" if self.ec_io else ""))


class LinuxBoot:
    """One power-on: the Linux starts, in turn, one each time the shell comes
    up; keys as scenarios.Boot has them (the shell's countdown is added for
    each start). The run ends when the guest powers off."""

    def __init__(self, starts, ec=None, keys=(), limit=LIMIT):
        self.starts = list(starts)
        self.ec = ec or Ec(REGISTER_SETTINGS)
        self.keys = list(keys) or [SHELL_COUNTDOWN] * len(self.starts)
        self.stop_at = None
        self.hold_ec_bytes = 0
        self.stop_in_boot = 0
        self.limit = limit


class LinuxScenario(Scenario):
    """setup: Setup's bytes before the first power-on (None: absent); image:
    the code volume (None: Debian's OVMF, no drivers)."""

    def __init__(self, name, setup, boots, check, attributes=SETUP_ATTRIBUTES, image=None,
                 ec_flash=None):
        super().__init__(name, boots, check, GROUP, ec_flash)
        self.setup = setup
        self.attributes = attributes
        self.image = image


class Ran:
    def __init__(self, words, status, output):
        self.words, self.status, self.output = words, status, output


def commands_run(text):
    """The ec-setup commands a Linux start ran, in order."""
    return [Ran(m[2], int(m[4]), m[3]) for m in COMMAND.finditer(text.replace("\r", ""))]


def ec_io_bytes(text):
    """The registers the guest printed through ec_sys, or None."""
    found = EC_IO.search(text.replace("\r", ""))
    return bytes.fromhex(found[1]) if found and "cannot read" not in found[1] else None


def probe_lines(text):
    found = PROBE.search(text.replace("\r", ""))
    return found[1].splitlines() if found else []


_guest_folder = []


def guest_folder():
    """The kernel and initramfs, built once per machine (and found once per run)."""
    if not _guest_folder:
        built = subprocess.run([BUILD_GUEST], check=True, stdout=subprocess.PIPE, text=True)
        _guest_folder.append(built.stdout.strip().splitlines()[-1])
    return _guest_folder[0]


def startup_script(starts):
    """The shell runs the first start whose marker is not yet on the disk."""
    lines = ["fs0:"]
    for n, start in enumerate(starts, 1):
        marker = f"start{n}.txt"
        lines += [f"if not exist {marker} then", f"  echo started > {marker}",
                  f"  {start.command_line()}", "endif"]
    return lines + [f"echo {NO_START_LEFT}", "reset -s"]


class LinuxGuest(vm.Guest):
    """A guest whose ACPI tables declare the EC (the SSDT QEMU appends)."""

    def _command_line(self, qmp_sock):
        table = os.path.join(guest_folder(), EC_TABLE)
        return super()._command_line(qmp_sock) + ["-acpitable", f"file={table}"]


def write_fat_folder(folder, boot):
    os.makedirs(folder)
    for name in GUEST_FILES:
        shutil.copy(os.path.join(guest_folder(), name), folder)
    with open(os.path.join(folder, "startup.nsh"), "w", newline="\r\n") as f:
        f.write("\n".join(startup_script(boot.starts)) + "\n")


def write_board(path, scenario, code, ec_image):
    """The board flash with Setup as the scenario has it, attributes included."""
    store = path + ".vars"
    fv_images.prepare_vars(store, None)
    if scenario.setup is not None:
        write_variable(store, "Setup", variables.SETUP_GUID, scenario.attributes, scenario.setup)
    try:
        board_flash.build(path, code, ec_image, store)
    finally:
        os.unlink(store)


def run_boots(scenario, workdir, drive, images, ec_flash):
    """Every power-on of the scenario on one board flash; drive is suite.drive."""
    flash_path = os.path.join(workdir, "board.bin")
    code = fv_images.OVMF_CODE if scenario.image is None else images.path(scenario.image)
    write_board(flash_path, scenario, code, images.ec_image)
    runs = []
    for number, boot in enumerate(scenario.boots, 1):
        fat = os.path.join(workdir, f"fat{number}")
        write_fat_folder(fat, boot)
        guest = LinuxGuest(workdir, vm.BoardFlash(flash_path), boot.ec, fat, f"boot{number}",
                         ec_flash)
        runs.append(drive(guest, boot, workdir, flash_path, number))
    return runs


# ---- checks ---------------------------------------------------------------------------

def boot_start(run, boot):
    """Where boot number boot (0: from power-on) begins on serial."""
    return 0 if boot == 0 else run.resets[boot - 1] if boot <= len(run.resets) else len(run.serial)


def check_linux(c, run, boot, start, expected):
    """Linux started in boot number boot as start asks; expected: (exit
    status, pattern its output must match) for each command."""
    text, n = run.boot_text(boot), boot
    c.that(MOUNTED in text, f"boot {n}: efivarfs not mounted")
    ran = commands_run(text)
    c.equal([r.words for r in ran], [f"ec-setup {w}" if not w.startswith("as-nobody ")
                                     else f"as nobody: ec-setup {w[10:]}" for w in start.commands],
            f"boot {n}: commands run")
    for r, (status, pattern) in zip(ran, expected):
        c.equal(r.status, status, f"boot {n}: exit status of {r.words!r}")
        c.that(re.search(pattern, r.output), f"boot {n}: {r.words!r} printed {r.output!r}, "
                                             f"not matching {pattern!r}")
    if start.end == "reboot":
        c.that(len(run.reset_times()) > boot, f"boot {n}: Linux's reboot did not reset")
        end = run.reset_times()[boot] if len(run.reset_times()) > boot else None
    else:
        c.equal(run.exit_reason, "guest-shutdown", f"boot {n}: QMP shutdown reason")
        end = run.exit_time()
    offset = boot_start(run, boot)
    started, up = run.time_of(KERNEL_STARTED, offset), run.time_of(GUEST_UP, offset)
    if None not in (started, up, end):
        c.note(f"boot {n}: kernel started at {started:.1f} s, its init at {up:.1f} s, "
               f"{start.end} at {end:.1f} s")


def linux_ec_traffic(run, boot):
    """What Linux's EC driver sent in that boot: command name -> count, and
    the data bytes written."""
    ports = run.seen.ports(boot)
    names = collections.Counter(ACPI_EC_COMMANDS.get(b, f"{b:#04x}") for b in ports[EC_CMD_PORT])
    return names, len(ports[EC_DATA_PORT])


def check_ec_acpi_only(c, run, boot):
    """The firmware's drivers leave the EC alone in that boot: whatever its
    ports saw came from Linux's EC driver, standard ACPI EC commands only,
    and the model found no fault in the run."""
    ports = run.seen.ports(boot)
    c.equal(ports[POST_CODE_PORT], b"", f"boot {boot}: progress codes")
    names, data = linux_ec_traffic(run, boot)
    c.that(set(names) <= set(ACPI_EC_COMMANDS.values()),
           f"boot {boot}: commands other than the ACPI EC's: {dict(names)}")
    check_no_violation(c, run)


def check_no_violation(c, run):
    report = run.seen.report
    c.equal(report and report["violations"], [], "the EC model's protocol violations")


def note_linux_traffic(c, run, boot):
    names, data = linux_ec_traffic(run, boot)
    c.note(f"boot {boot}: Linux sent {dict(sorted(names.items()))} with {data} data bytes")


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

# ec-setup refuses a guard above register 0x93's reading; these scenarios,
# which want the guard written above it, force it.
FORCED = "--force"

REQUEST_SET = r"set byte 3172 \(update request\) 0x00 -> 0x01; read back 3180 bytes, " \
              r"attributes 0x00000007, as written\nnote: .*5-second prompt.*restarts"
NOT_REQUESTED = r"update      not requested \(byte 3172 = 0x00\)"
GUARD_SET = r"byte 3176 \(guard enable\) 0x00 -> 0x01, byte 3177 \(guard threshold\) 0x42 -> 0xFF"


def guard_above(threshold):
    return (f"EC register 0x93 reads 0x{GUARD_READING:02X} now, below the guard's threshold "
            f"0x{threshold:02X}: the next boot would power off during DXE")


GUARD_FORCED = rf"(?s)warning: {guard_above(0xFF)}.*written anyway \(--force\).*{GUARD_SET}"


def request_then_cancel():
    """Linux requests the update and reboots; the next start finds the
    request, cancels it and sets the guard. The store at the end holds
    exactly the bytes written, every other one as before."""
    first = LinuxStart(["show", "request-update", "show --json"], end="reboot")
    second = LinuxStart(["show", "cancel-update", f"guard on 0xFF {FORCED}", "guard off", "show"],
                        probe=True)

    def check(c, runs):
        run = runs[0]
        check_linux(c, run, 0, first, [
            (0, r"size        3180 bytes\n.*\nattributes  0x00000007 .*\n"
                r"update      not requested \(byte 3172 = 0x00\)\nguard       off .*threshold 66"),
            (0, REQUEST_SET),
            (0, r'"update_requested": true, "guard_enable": 0, .*"guard_threshold": 66, '
                r'.*"machine_listed": true')])
        check_linux(c, run, 1, second, [
            (0, r"update      requested \(byte 3172 = 0x01\)"),
            (0, r"byte 3172 \(update request\) 0x01 -> 0x00"),
            (0, GUARD_FORCED),
            (0, r"byte 3176 \(guard enable\) 0x01 -> 0x00"),
            (0, r"update      not requested .*\nguard       off \(byte 3176 = 0x00\), threshold 255")])
        check_setup(c, run.vars_path, expected_setup(0, 0, 0xFF))
        immutable = re.search(r"file        (.*)", run.boot_text(0).replace("\r", ""))
        c.note(f"efivarfs: {immutable[1] if immutable else 'no file line'}")
        replaced = [line for line in probe_lines(run.boot_text(1)) if "one write of 4+3 bytes" in line]
        c.that(any("efivarfs   -> 7 bytes" in line for line in replaced),
               f"efivarfs did not replace the variable with a shorter write: {replaced}")
        c.that(any("plain file -> 14 bytes" in line for line in replaced),
               f"the plain file did not keep its tail: {replaced}")

    return LinuxScenario("linux_request_update_then_cancel", expected_setup(0, 0, 0x42),
                         [LinuxBoot([first, second])], check)


def filler(size):
    return bytes(i % 251 for i in range(size))


# name, Setup (None: absent), its attributes, commands with (exit status, output pattern)
REFUSAL_CASES = [
    ("linux_setup_absent_refused", None, SETUP_ATTRIBUTES,
     [("show", 3, r"no Setup variable: /sys/firmware/efi/efivars/Setup-ec87d643"),
      ("request-update", 3, r"no Setup variable")]),
    ("linux_setup_without_runtime_access_unseen", expected_setup(0, 0, 0), NV_BS,
     [("request-update", 3, r"no Setup variable")]),
    ("linux_setup_3172_bytes_refused", filler(3172), SETUP_ATTRIBUTES,
     [("request-update", 3, r"3172 bytes: the update request is byte 3172, so it needs at least 3173"),
      ("guard on 1", 3, r"the guard enable is byte 3176, so it needs at least 3177"),
      ("show", 0, r"update      absent: the variable ends before byte 3172")]),
    ("linux_setup_3181_bytes_refused", filler(3181), SETUP_ATTRIBUTES,
     [("request-update", 3, r"3181 bytes, larger than the drivers' 3180-byte buffer"),
      ("guard on 256", 2, r"threshold '256' is out of 0..255"),
      ("show --json", 0, r'"size": 3181, .*"drivers_can_read": false, "update_request": null')]),
    ("linux_refused_not_root_unlisted_guard_above_reading", expected_setup(0, 0, 0),
     SETUP_ATTRIBUTES,
     [("as-nobody request-update", 5, r"the write was refused \(.*\): a locked variable, or not root"),
      ("request-update --config /dev/null", 3,
       r"this machine \(sys_vendor 'QEMU', product_name .*\) is not listed in /dev/null"),
      (f"guard on {GUARD_READING + 1:#04x}", 4,
       guard_above(GUARD_READING + 1) + r".*; refused, nothing written"),
      ("as-nobody show", 0, r"update      not requested")]),
]


def refusal(name, setup, attributes, commands):
    """Refused commands print one line, exit with their status and leave the
    store as it was."""
    start = LinuxStart([words for words, _, _ in commands])

    def check(c, runs):
        check_linux(c, runs[0], 0, start, [(status, pattern) for _, status, pattern in commands])
        for r, (_, status, _) in zip(commands_run(runs[0].boot_text(0)), commands):
            if status != 0:
                c.equal(r.output.count("\n"), 1, f"lines printed by refused {r.words!r}")
        check_store_unchanged(c, runs[0], scenario)

    scenario = LinuxScenario(name, setup, [LinuxBoot([start])], check, attributes)
    return scenario


# ---- on the image with both drivers in its DXE volume ------------------------------------

BEFORE = expected_setup(0, 0, 0x42)
FULL_RESET = board_scenarios.FULL_RESET


def check_guard_powered_off(c, run, boot, threshold):
    """The guard's exchange in that boot, then the power-off during DXE."""
    ports = run.seen.ports(boot)
    expected = ec.guard_check(threshold)
    for port in EC_PORTS:
        c.equal(ports[port], expected[port], f"boot {boot}: the guard's exchange, port {port:#04x}")
    c.equal(run.exit_reason, "guest-shutdown", f"boot {boot}: QMP shutdown reason")
    c.equal(len(run.reset_times()), boot, "resets before the power-off")
    text = run.boot_text(boot)
    c.that(GUEST_UP not in text and "Shell>" not in text and not any(m in text for m in MESSAGES),
           f"boot {boot}: the boot went on past the guard")
    off, resets = run.exit_time(), run.reset_times()
    if off is not None and boot <= len(resets):
        c.note(f"boot {boot}: powered off {off - resets[boot - 1]:.1f} s after its reset")


def os_requested_update():
    """Linux requests the update and reboots. The firmware runs the whole
    update against the EC model and restarts the platform; Linux starts
    again and finds the request cleared, every other byte as before."""
    first = LinuxStart(["request-update"], end="reboot")
    second = LinuxStart(["show --json", "show"])

    def check(c, runs):
        run = runs[0]
        check_linux(c, run, 0, first, [(0, REQUEST_SET)])
        check_ec_acpi_only(c, run, 0)
        check_whole_update(c, run, boot=1)
        c.that(GUEST_UP not in run.boot_text(1), "boot 1: Linux started before the update's reset")
        c.equal(run.seen.log.boots[1].written_to(RESET_CONTROL_PORT) if len(run.seen.log.boots) > 1
                else None, bytes([FULL_RESET]), "boot 1: port 0xCF9 writes")
        check_linux(c, run, 2, second, [(0, r'"update_requested": false'), (0, NOT_REQUESTED)])
        c.that(not any(m in run.boot_text(2) for m in MESSAGES), "boot 2: the updater wrote")
        check_ec_acpi_only(c, run, 2)
        check_setup(c, run.vars_path, BEFORE)
        offset = boot_start(run, 1)
        begun, done = run.time_of(STARTING, offset), run.time_of(UPDATED, offset)
        if None not in (begun, done):
            c.note(f"programming {done - begun:.1f} s")

    return LinuxScenario("linux_os_requests_update_firmware_updates", BEFORE,
                         [LinuxBoot([first, second])], check, image=DRIVERS_IMAGE, ec_flash=OLD)


def check_drivers_then_linux(c, run, boot, expected):
    """The drivers' exchange opens that boot; after it, only Linux's EC driver."""
    ports = run.seen.ports(boot)
    for port in (EC_CMD_PORT, EC_DATA_PORT):
        c.equal(ports[port][:len(expected[port])], expected[port],
                f"boot {boot}: the drivers' exchange, port {port:#04x}")
    c.equal(ports[POST_CODE_PORT], expected[POST_CODE_PORT], f"boot {boot}: progress codes")
    later = set(ports[EC_CMD_PORT][len(expected[EC_CMD_PORT]):])
    c.that(later <= set(ACPI_EC_COMMANDS), f"boot {boot}: after the drivers, commands {later}")


def os_enabled_guard():
    """Linux reads the EC's 256 registers through ec_sys, as the model holds
    them. ec-setup shows register 0x93 (0x7F) and refuses the guard at 0xFF,
    writing nothing; forced, it writes it, and the next boot powers off
    during DXE."""
    start = LinuxStart(["show", "guard on 0xFF", "show --json", f"guard on 0xFF {FORCED}"],
                       end="reboot", ec_io=True)

    def check(c, runs):
        run = runs[0]
        check_linux(c, run, 0, start, [
            (0, rf"EC 0x93     0x{GUARD_READING:02X} now .*\nnext boot   the guard does not act"),
            (4, guard_above(0xFF) + r".*; refused, nothing written"),
            (0, rf'"guard_enable": 0, .*"ec_register_0x93": {GUARD_READING}, '),
            (0, GUARD_FORCED)])
        read = ec_io_bytes(run.boot_text(0))
        c.equal(read, bytes(REGISTERS), "the 256 registers read through ec_sys")
        check_ec_acpi_only(c, run, 0)
        note_linux_traffic(c, run, 0)
        c.note("; ".join(re.findall(r"EC-GUEST ((?:ec gpe|dmesg) [^\r\n]*)", run.boot_text(0))))
        check_guard_powered_off(c, run, 1, 0xFF)
        check_setup(c, run.vars_path, expected_setup(0, 1, 0xFF))

    return LinuxScenario("linux_os_enables_guard_next_boot_powers_off", BEFORE,
                         [LinuxBoot([start])], check, image=DRIVERS_IMAGE)


GUARD_AT_READING = (r"byte 3176 \(guard enable\) 0x00 -> 0x01, byte 3177 \(guard threshold\) "
                    rf"0x42 -> 0x{GUARD_READING:02X}")


def q_skip_then_guard():
    """Linux requests the update; at the next boot the prompt comes up, Q
    skips it and clears the request, and the same boot goes on into Linux,
    which finds it cleared and enables the guard at register 0x93's reading.
    The boot after that goes on past the guard into Linux."""
    first = LinuxStart(["request-update"], end="reboot")
    second = LinuxStart(["show", f"guard on {GUARD_READING:#04x}"], end="reboot")
    third = LinuxStart(["show"])
    keys = [SHELL_COUNTDOWN, (PROMPT, "q"), SHELL_COUNTDOWN, SHELL_COUNTDOWN]

    def check(c, runs):
        run = runs[0]
        check_linux(c, run, 0, first, [(0, REQUEST_SET)])
        check_message(c, run, ROW_BANNER, BANNER)
        check_message(c, run, ROW_PROMPT, PROMPT)
        check_message(c, run, ROW_SKIPPED, SKIPPED, more_may_follow=True)
        check_drivers_then_linux(c, run, 1, ec.updater_skip())
        c.equal(run.seen.flash, OLD, "EC flash (untouched)")
        check_linux(c, run, 1, second, [(0, NOT_REQUESTED), (0, GUARD_AT_READING)])
        check_drivers_then_linux(c, run, 2, ec.guard_check(GUARD_READING))
        check_linux(c, run, 2, third, [
            (0, r"next boot   goes on past the guard: EC register 0x93 reads at or above")])
        check_no_violation(c, run)
        check_setup(c, run.vars_path, expected_setup(0, 1, GUARD_READING))

    return LinuxScenario("linux_q_skips_os_request_then_guard_at_reading_boots_on", BEFORE,
                         [LinuxBoot([first, second, third], keys=keys)], check,
                         image=DRIVERS_IMAGE, ec_flash=OLD)


# The end-to-end pair the default suite runs; the rest only with --group linux.
IN_DEFAULT_SUITE = ("linux_os_requests_update_firmware_updates",
                    "linux_os_enables_guard_next_boot_powers_off")

SCENARIOS = ([request_then_cancel()] + [refusal(*case) for case in REFUSAL_CASES]
             + [os_requested_update(), os_enabled_guard(), q_skip_then_guard()])
