# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Scenarios on a firmware image with our drivers built into its DXE volume.

Each boots a board's boot flash (that image with an EC image and a variable
store) straight from power-on with no disk: "Setup" is written into the
variable store before the boot, the DXE dispatcher starts the drivers when
their dependencies are met, and the platform-side trigger sample
(firmware/sample/trigger/) installs the update trigger when the boot manager
signals ready-to-boot. The boot
manager's first serial line ends a boot once the evidence is in.
"""

import ec_protocol as ec
import fv_images
import variables
from ec_device import Ec
from updater_console import BOOT_MANAGER
from scenarios import (BANNER, PROMPT, ROW_BANNER, ROW_PROMPT, ROW_SKIPPED, SKIPPED, STARTING,
                       INIT_FAILED, Scenario, check_message, check_no_messages, check_ports,
                       check_model_report, check_setup, ec_answering, setup_bytes)

TRIGGER_INSTALLED = "EC update trigger: installed"
# A guard against a hung guest: a boot to the boot manager took up to 38 s
# beside other work.
VOLUME_BOOT_LIMIT = 240

OLD = fv_images.ec_image(fv_images.OLD_EC_IMAGE)   # the EC's flash before an update

DRIVERS_IMAGE = "drivers"          # both drivers and the trigger sample
LOCKED_IMAGE = "locked-setup"      # those and a driver that locks "Setup" at the end of DXE
UNMET_IMAGE = "unmet-dependency"   # only the guard, waiting for a protocol nobody installs


class FvBoot:
    """One power-on of a board flash: a code volume (the name of one the suite
    builds, or a file's path), "Setup" prepared (None: absent), the EC.
    The run ends when the guest ends QEMU, or when stop_at's text appears in
    boot number stop_in_boot (0: before any platform reset; "": as that boot
    starts; None: no stop point). same_flash: boot the board flash the power-on before left
    (its variable store included) instead of a fresh one. vars_base: the
    empty variable store the firmware's build came with."""

    def __init__(self, image, setup, ec=None, keys=(), stop_at=BOOT_MANAGER, limit=VOLUME_BOOT_LIMIT,
                 stop_in_boot=0, same_flash=False, vars_base=fv_images.OVMF_VARS):
        self.image = image
        self.setup = setup
        self.ec = ec or Ec()
        self.keys = list(keys)
        self.stop_at = stop_at
        self.hold_ec_bytes = 0
        self.stop_in_boot = stop_in_boot
        self.limit = limit
        self.same_flash = same_flash
        self.vars_base = vars_base


def check_boot_manager(c, run):
    c.that(BOOT_MANAGER in run.text, "the boot did not reach the boot manager")
    c.that(run.exit_reason is None, f"the guest ended the run: {run.exit_reason}")
    at = run.time_of(BOOT_MANAGER)
    if at is not None:
        c.note(f"boot manager at {at:.1f} s")


# name, the model outside QEMU behind a unix socket
GUARD_OFF_CASES = [
    ("volume_guard_below_threshold_powers_off", False),
    ("volume_socket_model_guard_below_threshold_powers_off", True),
]


def guard_powers_off(name, external):
    setup = setup_bytes(0, 1, 0x80)

    def check(c, runs):
        run = runs[0]
        check_ports(c, run, ec.guard_check(0x80), "the exchange the EC saw")
        check_model_report(c, run, guard_threshold=0x80)
        if external:  # the external model's record lists the exchange as it took it
            c.equal(run.seen.report and run.seen.report["exchange"],
                    [[ec.EC_CMD_PORT, ec.GUARD_SET_THRESHOLD], [ec.EC_DATA_PORT, 0x80],
                     [ec.EC_CMD_PORT, ec.ACPI_EC_READ], [ec.EC_DATA_PORT, ec.GUARD_REGISTER]],
                    "the external model's exchange")
        c.equal(run.exit_reason, "guest-shutdown", "QMP shutdown reason")
        # The guard runs in DXE: the power-off comes before the boot manager
        # or any console output.
        c.equal(run.text.strip(), "", "serial output before the power-off")
        if run.exit_time() is not None:
            c.note(f"powered off {run.exit_time():.1f} s after power-on")

    ec_model = Ec({"register 0x93": "0x7f"}, external=external)
    boot = FvBoot(DRIVERS_IMAGE, setup, ec_model, stop_at=None)
    return Scenario(name, [boot], check, "volume")


def guard_boots_on():
    def check(c, runs):
        check_ports(c, runs[0], ec.guard_check(0x80), "the exchange the EC saw")
        check_model_report(c, runs[0], guard_threshold=0x80)
        check_boot_manager(c, runs[0])

    boot = FvBoot(DRIVERS_IMAGE, setup_bytes(0, 1, 0x80), ec_answering(0x80))
    return Scenario("volume_guard_at_threshold_boots_on", [boot], check, "volume")


# name, Setup (None: absent). The EC answers 0x00, below any enabled
# threshold: a guard that ran anyway would power off.
QUIET_CASES = [
    ("volume_guard_disabled_request_0_boots_on", setup_bytes(0, 0, 0x80)),
    ("volume_setup_absent_boots_on", None),
]


def quiet_boot(name, setup):
    """Neither driver has anything to do, though both are dispatched and the trigger arrives."""

    def check(c, runs):
        run = runs[0]
        check_ports(c, run, ec.NO_TRAFFIC)
        c.that(TRIGGER_INSTALLED in run.text, "the trigger sample did not install the trigger")
        check_no_messages(c, run)
        check_boot_manager(c, run)
        if setup is None:
            c.that(variables.setup_variable(run.vars_path) is None, "Setup appeared")
        else:
            check_setup(c, run.vars_path, setup)

    return Scenario(name, [FvBoot(DRIVERS_IMAGE, setup, ec_answering(0x00))], check, "volume")


def updater_q_skips(banner=BANNER):
    def check(c, runs):
        run = runs[0]
        check_message(c, run, ROW_BANNER, banner)
        check_message(c, run, ROW_PROMPT, PROMPT)
        # The updater leaves the cursor after its skip message and the colour
        # set: the boot manager's next line continues that row.
        check_message(c, run, ROW_SKIPPED, SKIPPED, more_may_follow=True)
        c.that(STARTING not in run.text and INIT_FAILED not in run.text, "update started after Q")
        check_ports(c, run, ec.updater_skip())
        # The EC was never in pass-through mode; the skip restarts nothing.
        check_model_report(c, run, in_pass_through=False, reset_writes=0)
        c.equal(run.reset_times(), [], "guest resets")
        c.equal(run.seen.flash, OLD, "EC flash (untouched)")
        check_boot_manager(c, run)
        check_setup(c, run.vars_path, setup_bytes(0, 0, 0))
        times = [run.time_of(t) for t in (TRIGGER_INSTALLED, banner, SKIPPED, BOOT_MANAGER)]
        c.that(None not in times and times == sorted(times),
               f"trigger, banner, skip and boot manager not in that order: {times}")
        if None not in times:
            c.that(times[3] - times[2] >= 1.8, f"pause after the skip {times[3] - times[2]:.1f} s")
            c.note(f"prompt at {times[1]:.1f} s, pause after skip {times[3] - times[2]:.1f} s")

    boot = FvBoot(DRIVERS_IMAGE, setup_bytes(1, 0, 0), keys=[(PROMPT, "q")])
    return Scenario("volume_updater_request_q_skips", [boot], check, "volume", ec_flash=OLD)


def unmet_dependency():
    """The guard's own image, enabled, with the EC below its threshold, but
    in a file whose dependency never holds: the dispatcher never starts it."""

    def check(c, runs):
        check_ports(c, runs[0], ec.NO_TRAFFIC)
        check_boot_manager(c, runs[0])

    boot = FvBoot(UNMET_IMAGE, setup_bytes(0, 1, 0x80), ec_answering(0x7F))
    return Scenario("volume_unmet_dependency_never_dispatched", [boot], check, "volume")


SCENARIOS = ([guard_powers_off(*case) for case in GUARD_OFF_CASES] + [guard_boots_on()] + [quiet_boot(*case) for case in QUIET_CASES]
             + [updater_q_skips(), unmet_dependency()])
