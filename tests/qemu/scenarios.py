# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The firmware-level scenarios: each is one or more power-ons of the same
variable store, and the checks on what the runs left behind.

Shell-loaded scenarios load a driver with the UEFI Shell's `load`; dispatched
ones register it as a Driver#### load option in a first boot, and the
firmware's boot manager runs it in the next.
"""

import console
import ec_protocol as ec
import variables
from ec_device import EC_CMD_PORT, EC_DATA_PORT, POST_CODE_PORT, Ec
from updater_console import (BANNER, INIT_FAILED, MESSAGES, PROMPT, ROW_BANNER,  # noqa: F401
                             ROW_OUTCOME, ROW_PROMPT, ROW_SKIPPED, ROW_START, SKIPPED, STARTING,
                             UPDATE_FAILED, UPDATED)
from variables import GUARD_ENABLE, GUARD_THRESHOLD, REQUEST, SETUP_ATTRIBUTES, SETUP_SIZE

GUARD = "ec_threshold_guard.efi"
UPDATER = "ec_flash_updater.efi"

END_MARK = "SCENARIO-END"
EXCEPTION_MARK = "!!!! X64 Exception"
SHELL_BANNER = "UEFI Interactive Shell"
TRIGGERED = "setup_tool trigger: status 0x0000000000000000"
SHELL_COUNTDOWN = ("Press ESC", " ")

# A guard against a hung guest, not a measure: a shell boot needs about 4 s
# of processor time, and took up to 51 s beside other work (a load of 20 on
# 2 cores).
SHELL_BOOT_LIMIT = 240


def set_setup(request, enable, threshold):
    return f"setup_tool set {REQUEST}={request} {GUARD_ENABLE}={enable} {GUARD_THRESHOLD}={threshold:#x}"


def setup_bytes(request, enable, threshold, filler=bytes(SETUP_SIZE)):
    """Setup's bytes: filler with the three EC bytes chosen."""
    data = bytearray(filler)
    data[REQUEST], data[GUARD_ENABLE], data[GUARD_THRESHOLD] = request, enable, threshold
    return bytes(data)


def expected_setup(request, enable, threshold):
    """The bytes setup_tool writes: i % 251, with the three EC bytes chosen."""
    return setup_bytes(request, enable, threshold, bytes(i % 251 for i in range(SETUP_SIZE)))


def register(image, description):
    return f'bcfg driver add 0 fs0:\\{image} "{description}"'


# Status reads a busy EC holds its input buffer full for.
EC_BUSY_READS = 100_000
# Replies to the pass-through request that are never 0x33.
NEVER_PASS_THROUGH = {"replies_before_ready": -1}


def ec_answering(value):
    """An EC whose register 0x93 (the guard's) reads value."""
    return Ec({"register 0x93": f"{value:#04x}"})


class Boot:
    """One power-on from the UEFI Shell: the script it runs, the EC, and
    (serial text, keys) pairs: each key string is sent when its text appears.
    The run ends when the script powers the guest off, or at the stop point:
    stop_at's text on serial, then hold_ec_bytes more of the port log."""

    def __init__(self, script, ec=None, keys=(), stop_at=None, hold_ec_bytes=0):
        self.script = list(script)
        self.ec = ec or Ec()
        self.keys = [SHELL_COUNTDOWN] + list(keys)
        self.limit = SHELL_BOOT_LIMIT
        self.stop_at = stop_at
        self.hold_ec_bytes = hold_ec_bytes
        self.stop_in_boot = 0


class Scenario:
    """ec_flash: the EC flash's contents before the first power-on (None:
    erased); one EC flash lasts through all the scenario's power-ons."""

    def __init__(self, name, boots, check, group, ec_flash=None):
        self.name = name
        self.boots = boots
        self.check = check
        self.group = group
        self.ec_flash = ec_flash


class Checks:
    def __init__(self):
        self.failures = []
        self.notes = []

    def that(self, condition, what):
        if not condition:
            self.failures.append(what)

    def equal(self, actual, expected, what):
        if actual == expected:
            return
        if isinstance(actual, bytes) and isinstance(expected, bytes) and len(actual) > 48:
            at = next((i for i, (a, e) in enumerate(zip(actual, expected)) if a != e),
                      min(len(actual), len(expected)))
            actual, expected = actual[at:], expected[at:]
            what += f" from byte {at}"
        self.failures.append(f"{what}: got {show(actual)}, expected {show(expected)}")

    def note(self, text):
        self.notes.append(text)


def show(value):
    if isinstance(value, (bytes, bytearray)):
        text = value[:48].hex(" ")
        return f"[{len(value)} bytes] {text}{' ...' if len(value) > 48 else ''}"
    return repr(value)


def lines(run):
    return run.text.replace("\r", "").split("\n")


# ---- checks shared by several scenarios -------------------------------------------------

def check_every_boot(c, runs, boots):
    for n, (run, boot) in enumerate(zip(runs, boots), 1):
        c.that(EXCEPTION_MARK not in run.text, f"boot {n}: processor exception on serial")
        c.that(not run.timed_out, f"boot {n}: still running after {boot.limit} s")


def check_ports(c, run, expected, what="ports"):
    for port in (EC_CMD_PORT, EC_DATA_PORT, POST_CODE_PORT):
        c.equal(run.ports[port], expected[port], f"{what}: port {port:#04x}")


def check_reached_shell_end(c, run):
    c.that(END_MARK in lines(run), "the boot did not reach the end of the shell script")
    c.equal(run.exit_reason, "guest-shutdown", "QMP shutdown reason")


def check_message(c, run, row, text, more_may_follow=False):
    """more_may_follow: text the firmware writes next may continue the row."""
    found = [s for s in console.text_at(run.serial, row)
             if s.text == text or (more_may_follow and s.text.startswith(text))]
    c.that(found, f"row {row}: {text!r} not shown at column 0")
    c.that(all(s.attribute == console.YELLOW_ON_RED for s in found),
           f"row {row}: attribute is not yellow on red")


def check_no_messages(c, run):
    c.that(not any(m in run.text for m in MESSAGES), "the updater wrote to the console")
    c.that(not console.coloured(run.serial, console.YELLOW_ON_RED),
           "yellow-on-red text on the console")


def check_setup(c, vars_path, expected):
    variable = variables.setup_variable(vars_path)
    c.that(variable is not None, "Setup missing after the run")
    if variable is not None:
        c.equal(variable.attributes, SETUP_ATTRIBUTES, "Setup attributes")
        c.equal(variable.data, expected, "Setup contents")


def check_model_report(c, run, **expected):
    """The model saw no protocol violation, and its report holds expected."""
    report = run.seen.report
    c.that(report is not None, "the model wrote no report")
    if report is None:
        return
    c.equal(report["violations"], [], "protocol violations the model saw")
    for key, value in expected.items():
        c.equal(report[key], value, f"model report {key}")


def check_skip_path(c, run, vars_path):
    check_message(c, run, ROW_BANNER, BANNER)
    check_message(c, run, ROW_PROMPT, PROMPT)
    check_message(c, run, ROW_SKIPPED, SKIPPED)
    c.that(STARTING not in run.text and INIT_FAILED not in run.text, "update started after Q")
    check_ports(c, run, ec.updater_skip())
    check_reached_shell_end(c, run)
    skipped, resumed = run.time_of(SKIPPED), run.time_of(TRIGGERED)
    c.that(None not in (skipped, resumed), "skip message or trigger status missing on serial")
    if None not in (skipped, resumed):
        c.that(resumed - skipped >= 1.8, f"pause after the skip {resumed - skipped:.1f} s, not 2 s")
        c.note(f"pause after skip {resumed - skipped:.1f} s")
    check_setup(c, vars_path, expected_setup(0, 1, 0x42))


# ---- the guard, loaded from the shell ------------------------------------------------------

# name, Setup bytes (None: absent), EC data constant, outcome
SHELL_GUARD_CASES = [
    ("guard_setup_absent_load_fails", None, 0x00, "not-found"),
    ("guard_below_threshold_powers_off", (1, 0x80), 0x7F, "power-off"),
    ("guard_at_threshold_boots_on", (1, 0x80), 0x80, "boot"),
]


def shell_guard(name, setup, ec_data, outcome):
    script = ([set_setup(0, *setup)] if setup else []) + [f"load {GUARD}"]

    def check(c, runs):
        run = runs[0]
        if outcome == "not-found":
            c.that(f"Image 'FS0:\\{GUARD}' error in StartImage: Not Found" in run.text,
                   "the shell did not report the load failing with Not Found")
            check_ports(c, run, ec.NO_TRAFFIC)
            check_reached_shell_end(c, run)
            c.that(variables.setup_variable(run.vars_path) is None, "Setup appeared")
            return
        check_ports(c, run, ec.guard_check(setup[1]))
        if outcome == "power-off":
            c.equal(run.exit_reason, "guest-shutdown", "QMP shutdown reason")
            c.that(END_MARK not in lines(run) and "- Success" not in run.text,
                   "the boot went on after the guard")
        else:
            c.that(f"Image 'FS0:\\{GUARD}' loaded at" in run.text, "the guard's load failed")
            check_reached_shell_end(c, run)

    return Scenario(name, [Boot(script, ec_answering(ec_data))], check, "shell")


# name, model settings, extra status reads with the input buffer full
# before the opening command, and before each later write
GUARD_BUSY_CASES = [
    ("guard_ec_busy_at_start_waits", {"ec_busy_at_start": EC_BUSY_READS}, EC_BUSY_READS, 0),
    ("guard_ec_slow_to_take_bytes_waits", {"ec_busy_input": EC_BUSY_READS}, 0, EC_BUSY_READS),
]


def guard_ec_busy(name, settings, first, later):
    """An EC busy at power-on holds the guard's opening command back; one
    slow to take each byte holds back every later write (the reply's wait
    looks at the output buffer only). Either way the exchange then ends as
    with a ready EC: power-off."""

    def check(c, runs):
        run = runs[0]
        expected = (ec.Traffic().waits(first).command(ec.GUARD_SET_THRESHOLD).waits(later)
                    .data(0x80).waits(later).command(ec.ACPI_EC_READ).waits(later)
                    .data(ec.GUARD_REGISTER).reply().as_bytes())
        check_ports(c, run, expected)
        c.equal(run.exit_reason, "guest-shutdown", "QMP shutdown reason")
        c.note(f"{len(run.ports[POST_CODE_PORT]):,} progress codes")

    boot = Boot([set_setup(0, 1, 0x80), f"load {GUARD}"], Ec({**settings, "register 0x93": "0x7f"}))
    return Scenario(name, [boot], check, "shell")


# ---- the updater, loaded from the shell ----------------------------------------------------

def updater_no_request(name, request):
    """No request: nothing happens; a second trigger, even with a request, does nothing."""
    script = [set_setup(request, 0, 0), f"load {UPDATER}", "setup_tool trigger", "setup_tool show",
              set_setup(1, 0, 0), "setup_tool trigger"]

    def check(c, runs):
        run = runs[0]
        c.that(f"Image 'FS0:\\{UPDATER}' loaded at" in run.text, "the updater's load failed")
        c.equal(run.text.count(TRIGGERED), 2, "trigger installations")
        c.that(f"[{REQUEST}]={request:#04x}" in run.text, "request byte changed by the first trigger")
        check_no_messages(c, run)
        check_ports(c, run, ec.NO_TRAFFIC)
        check_reached_shell_end(c, run)
        check_setup(c, run.vars_path, expected_setup(1, 0, 0))

    return Scenario(name, [Boot(script)], check, "shell")


def updater_skip():
    script = [set_setup(1, 1, 0x42), f"load {UPDATER}", "setup_tool trigger"]

    def check(c, runs):
        check_skip_path(c, runs[0], runs[0].vars_path)

    return Scenario("updater_request_q_skips", [Boot(script, keys=[(PROMPT, "q")])], check, "shell")


def updater_init_failure():
    script = [set_setup(1, 0, 0x42), f"load {UPDATER}", "setup_tool trigger"]

    def check(c, runs):
        run = runs[0]
        for row, text in ((ROW_BANNER, BANNER), (ROW_PROMPT, PROMPT), (ROW_START, STARTING),
                          (ROW_OUTCOME, INIT_FAILED)):
            check_message(c, run, row, text)
        check_ports(c, run, ec.updater_init_failure())
        c.equal(run.exit_reason, "guest-reset", "QMP shutdown reason")
        c.that(END_MARK not in lines(run), "the boot went on after the failure")
        check_setup(c, run.vars_path, expected_setup(0, 0, 0x42))
        prompt, start, reset = run.time_of(PROMPT), run.time_of(STARTING), run.exit_time()
        c.that(None not in (prompt, start, reset), "prompt, start message or reset missing")
        if None not in (prompt, start, reset, run.time_of(INIT_FAILED)):
            c.that(4.5 <= start - prompt <= 10, f"prompt lasted {start - prompt:.1f} s, not 5 s")
            c.that(reset - run.time_of(INIT_FAILED) >= 2.8, "no 3 s pause before the reset")
            c.note(f"prompt {start - prompt:.1f} s, reset {reset - start:.1f} s after start")

    boot = Boot(script, Ec(NEVER_PASS_THROUGH))
    return Scenario("updater_handshake_fails_resets", [boot], check, "shell")


# Port-log bytes the busy-flash run goes on for after the start message:
# 10,000 records of 16 bytes, at least 100 polls of the flash's status
# however many accesses a poll takes.
FLASH_BUSY_HOLD = 10_000 * 16


def updater_flash_busy():
    script = [set_setup(1, 0, 0), f"load {UPDATER}", "setup_tool trigger"]

    def check(c, runs):
        run = runs[0]
        check_message(c, run, ROW_START, STARTING)
        c.that(run.stopped and run.exit_reason is None, "the driver did not keep spinning")
        start = ec.updater_flash_busy_start()
        poll = ec.FLASH_BUSY_POLL
        for port in (EC_CMD_PORT, POST_CODE_PORT):
            captured, prefix = run.ports[port], start[port]
            polls = captured[len(prefix):]
            whole = len(polls) // len(poll[port])
            c.equal(captured[:len(prefix)], prefix, f"port {port:#04x} before the busy polls")
            c.equal(polls, (poll[port] * (whole + 1))[:len(polls)],
                    f"port {port:#04x} busy polls")
        c.equal(run.ports[EC_DATA_PORT], b"", "port 0x62")
        polls = len(run.ports[EC_CMD_PORT]) - len(start[EC_CMD_PORT])
        c.that(polls >= 100, f"only {polls} busy polls")
        c.note(f"{polls} busy polls")
        check_setup(c, run.vars_path, expected_setup(1, 0, 0))

    boot = Boot(script, Ec({"flash_busy_forever": 1}), stop_at=STARTING,
                hold_ec_bytes=FLASH_BUSY_HOLD)
    return Scenario("updater_flash_busy_spins", [boot], check, "shell")


# ---- dispatched by the firmware from DriverOrder -------------------------------------------

# name, Setup bytes (None: absent), EC data constant, outcome
DISPATCHED_GUARD_CASES = [
    ("dispatched_guard_below_threshold_powers_off", (1, 0x80), 0x7F, "power-off"),
    ("dispatched_guard_above_threshold_boots_on", (1, 0x80), 0xFF, "boot"),
    ("dispatched_guard_disabled_boots_on", (0, 0x00), 0x00, "disabled"),
    ("dispatched_guard_setup_absent_boots_on", None, 0x00, "disabled"),
]


def check_registered(c, run, image, description):
    options = variables.driver_options(run.vars_path)
    c.equal([d for d, _ in options], [description], "DriverOrder descriptions")
    c.that(all(variables.path_names_file(p, image) for _, p in options),
           f"Driver#### does not name {image}")
    check_ports(c, run, ec.NO_TRAFFIC, "registration boot")
    check_reached_shell_end(c, run)


def dispatched_guard(name, setup, ec_data, outcome):
    first = Boot([register(GUARD, "EC guard"), set_setup(0, *setup) if setup else "setup_tool delete"])
    second = Boot(["setup_tool show"], ec_answering(ec_data))

    def check(c, runs):
        check_registered(c, runs[0], GUARD, "EC guard")
        run = runs[1]
        if outcome == "power-off":
            check_ports(c, run, ec.guard_check(setup[1]))
            c.equal(run.exit_reason, "guest-shutdown", "QMP shutdown reason")
            c.that(SHELL_BANNER not in run.text, "the shell started")
            if run.exit_time() is not None:
                c.note(f"powered off {run.exit_time():.1f} s after power-on")
            return
        check_ports(c, run, ec.guard_check(setup[1]) if outcome == "boot" else ec.NO_TRAFFIC)
        check_reached_shell_end(c, run)

    return Scenario(name, [first, second], check, "dispatched")


def dispatched_updater():
    first = Boot([register(UPDATER, "EC updater"), set_setup(0, 1, 0x42)])
    second = Boot(["setup_tool trigger", "setup_tool show", set_setup(1, 1, 0x42)])
    third = Boot(["setup_tool trigger"], keys=[(PROMPT, "q")])

    def check(c, runs):
        check_registered(c, runs[0], UPDATER, "EC updater")
        run = runs[1]
        c.that(TRIGGERED in run.text, "trigger not installed")
        c.that(f"[{REQUEST}]=0x00" in run.text, "request byte changed")
        check_no_messages(c, run)
        check_ports(c, run, ec.NO_TRAFFIC, "no-request boot")
        check_reached_shell_end(c, run)
        check_skip_path(c, runs[2], runs[2].vars_path)

    return Scenario("dispatched_updater_no_request_then_q_skips", [first, second, third], check, "dispatched")


SCENARIOS = (
    [shell_guard(*case) for case in SHELL_GUARD_CASES] + [guard_ec_busy(*case) for case in GUARD_BUSY_CASES]
    + [updater_no_request("updater_request_0_does_nothing", 0),
       updater_no_request("updater_request_2_does_nothing", 2),
       updater_skip(), updater_init_failure(), updater_flash_busy()]
    + [dispatched_guard(*case) for case in DISPATCHED_GUARD_CASES]
    + [dispatched_updater()]
)
