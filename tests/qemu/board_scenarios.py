# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The whole EC update on a board's boot flash: both drivers dispatched from
OVMF's DXE volume, the EC image at 0xFF660000, the EC model behind the ports
with its flash starting from an older image.

Every check here is taken from outside the drivers: the console rows as the
firmware drew them, "Setup" read back from the store inside the flash file,
the model's flash file against the EC image, the model's report, and the
port log against the protocol's access sequence (ec_port_log).
"""

import ec_protocol as ec
import fv_images
from ec_device import EC_CMD_PORT, EC_DATA_PORT, RESET_CONTROL_PORT, Ec
from fv_scenarios import BOOT_MANAGER, DRIVERS_IMAGE, LOCKED_IMAGE, TRIGGER_INSTALLED, FvBoot
from scenarios import (BANNER, INIT_FAILED, MESSAGES, PROMPT, ROW_BANNER, ROW_OUTCOME,
                       ROW_PROMPT, ROW_START, STARTING, UPDATE_FAILED, UPDATED, Scenario,
                       check_message, check_model_report, check_setup, expected_setup)

import port_log  # noqa: E402  (tools/qemu_rig, on the path through ec_device)

IMAGE = fv_images.ec_image(fv_images.INSTALLED_EC_IMAGE)
OLD = fv_images.ec_image(fv_images.OLD_EC_IMAGE)
BLOCK = 1024
FULL_RESET = 0x0E           # what a full platform reset writes to port 0xCF9
REQUESTED = expected_setup(1, 0, 0)
CLEARED = expected_setup(0, 0, 0)
AFTER_RESET = ""            # stop as soon as the next boot begins
# Guards against a hung guest: the whole update and the boot after it took
# 80 s beside other work; the EC busy at every wait has twice the limit.
LIMIT = 600


def blocks(data, first, end):
    return data[first * BLOCK:end * BLOCK]


def check_rows(c, run, rows, boot=0):
    """Each (row, text) drawn as the updater draws it, in this order on serial."""
    serial = run.boot_serial(boot)
    for row, text in rows:
        check_message(c, run, row, text)
    at = [serial.find(text.encode()) for _, text in rows]
    c.that(-1 not in at and at == sorted(at), f"rows {[r for r, _ in rows]} not in order: {at}")


def check_restarted(c, run):
    """The updater's ending: 0x0E to port 0xCF9, and the platform reset it causes."""
    c.equal(run.seen.log.boots[0].written_to(RESET_CONTROL_PORT), bytes([FULL_RESET]),
            "port 0xCF9 writes")
    c.equal(len(run.reset_times()), 1, "QMP guest resets")
    c.equal(run.seen.log.resets, 1, "platform resets in the port log")


def check_compare(c, run, boot=0, settings=None):
    ok, text = port_log.compare(run.seen.log_path, boot, IMAGE, settings)
    c.that(ok, f"port log against the protocol's sequence: {text}")
    c.note(f"{run.seen.log.boots[boot].access_count():,} accesses")


def check_second_boot(c, run):
    """After the reset, the same QEMU process boots again with the request
    cleared: no prompt, not one EC access, on to the boot manager."""
    text = run.boot_text(1)
    c.that(BOOT_MANAGER in text, "the boot after the reset did not reach the boot manager")
    resets = run.reset_times()
    at = run.time_of(BOOT_MANAGER, run.resets[0]) if run.resets else None
    if resets and at is not None:
        c.note(f"boot manager {at - resets[0]:.1f} s after the reset")
    c.that(not any(m in text for m in MESSAGES), "the updater wrote in the boot after the reset")
    log = run.seen.log
    c.equal(log.boots[1].access_count() if len(log.boots) > 1 else None, 0,
            "EC accesses in the boot after the reset")


def check_whole_update(c, run, boot=0, banner=BANNER):
    """The whole update as it shows from outside: the four rows in order, the
    EC flash equal to the image, no violation, and the port log equal to the
    protocol's sequence."""
    check_rows(c, run, [(ROW_BANNER, banner), (ROW_PROMPT, PROMPT), (ROW_START, STARTING),
                        (ROW_OUTCOME, UPDATED)], boot)
    c.equal(run.seen.flash, IMAGE, "EC flash after the update")
    check_model_report(c, run, in_pass_through=False)
    check_compare(c, run, boot)


def full_update(banner=BANNER):
    def check(c, runs):
        run = runs[0]
        check_whole_update(c, run, banner=banner)
        check_restarted(c, run)
        check_second_boot(c, run)
        check_setup(c, run.vars_path, CLEARED)
        start, end = run.time_of(STARTING), run.time_of(UPDATED)
        if None not in (start, end):
            c.note(f"programming {end - start:.1f} s")

    boot = FvBoot(DRIVERS_IMAGE, REQUESTED, stop_at=BOOT_MANAGER, stop_in_boot=1,
                  limit=LIMIT)
    return Scenario("board_full_update_then_boots_on", [boot], check, "board", ec_flash=OLD)


def locked_setup():
    """"Setup" locked at the end of DXE, before the trigger sample installs the
    trigger: the updater's clearing of the request is refused, so the next
    boot prompts and updates again, and so does every boot after it. The run
    ends as the third boot begins."""

    def check(c, runs):
        run = runs[0]
        for boot in (0, 1):
            c.that(TRIGGER_INSTALLED in run.boot_text(boot), f"boot {boot}: no trigger")
            check_whole_update(c, run, boot)
            c.equal(run.seen.log.boots[boot].written_to(RESET_CONTROL_PORT)
                    if len(run.seen.log.boots) > boot else None, bytes([FULL_RESET]),
                    f"boot {boot}: port 0xCF9 writes")
        c.equal(len(run.reset_times()), 2, "QMP guest resets")
        check_setup(c, run.vars_path, REQUESTED)

    boot = FvBoot(LOCKED_IMAGE, REQUESTED, stop_at=AFTER_RESET, stop_in_boot=2,
                  limit=2 * LIMIT)
    return Scenario("board_locked_setup_updates_at_every_boot", [boot], check, "board",
                    ec_flash=OLD)


# name, model settings, the block that fails
BLOCK_FAULTS = [
    ("board_verify_fault_block_9_fails",
     {"bad_program_address": f"{9 * BLOCK + 0x123:#x}", "bad_program_flip": "0x10"}, 9),
    ("board_blank_check_fault_block_4_fails",
     {"stuck_erase_address": f"{4 * BLOCK + 0x3FF:#x}", "stuck_value": "0x7e"}, 4),
]


def block_fault(name, settings, failed):
    def check(c, runs):
        run = runs[0]
        check_rows(c, run, [(ROW_START, STARTING), (ROW_OUTCOME, UPDATE_FAILED)])
        c.that(UPDATED not in run.text, "success shown after a fault")
        flash = run.seen.flash or b""
        c.equal(blocks(flash, 0, failed), blocks(IMAGE, 0, failed), f"blocks before {failed}")
        c.equal(blocks(flash, failed + 1, 128), blocks(OLD, failed + 1, 128),
                f"blocks after {failed} (the old image)")
        check_model_report(c, run, in_pass_through=False)
        check_restarted(c, run)
        check_setup(c, run.vars_path, CLEARED)

    boot = FvBoot(DRIVERS_IMAGE, REQUESTED, Ec(settings), stop_at=AFTER_RESET, stop_in_boot=1,
                  limit=LIMIT)
    return Scenario(name, [boot], check, "board", ec_flash=OLD)


# name, model settings, the replies to the pass-through request the host reads
INIT_FAULTS = [
    ("board_ec_never_answers_0x33_init_fails", {"replies_before_ready": -1}, ec.HANDSHAKE_REPLIES),
    ("board_wrong_flash_id_init_fails", {"flash_id": "0xFF 0xFF 0xFF 0xFE"}, 1),
]


def handshake_replies(run):
    """Data-port reads between the pass-through request and the next command."""
    accesses = run.seen.log.boots[0].accesses()
    start = accesses.index((EC_CMD_PORT, port_log.WRITE, ec.PT_ENTER))
    end = next(i for i in range(start + 1, len(accesses))
               if accesses[i][:2] == (EC_CMD_PORT, port_log.WRITE))
    return sum(1 for port, kind, _ in accesses[start:end]
               if (port, kind) == (EC_DATA_PORT, port_log.READ))


def init_fault(name, settings, replies):
    def check(c, runs):
        run = runs[0]
        check_rows(c, run, [(ROW_START, STARTING), (ROW_OUTCOME, INIT_FAILED)])
        c.equal(run.seen.flash, OLD, "EC flash (untouched)")
        check_model_report(c, run, in_pass_through=False)
        c.equal(handshake_replies(run), replies, "replies read after the pass-through request")
        c.equal(run.seen.report and run.seen.report["flash"]["erases"], 0, "erases")
        check_restarted(c, run)
        check_setup(c, run.vars_path, CLEARED)

    boot = FvBoot(DRIVERS_IMAGE, REQUESTED, Ec(settings), stop_at=AFTER_RESET, stop_in_boot=1,
                  limit=LIMIT)
    return Scenario(name, [boot], check, "board", ec_flash=OLD)


# The fault matrix's slow EC and flash, the slow latch included.
BUSY = {"ec_busy_input": 2, "ec_busy_output": 3, "ec_busy_at_start": 4, "flash_busy_erase": 40,
        "flash_busy_program": 2, "flash_busy_write_enable": 3, "flash_latch_write_disable": 5}


def busy_update():
    def check(c, runs):
        run = runs[0]
        check_rows(c, run, [(ROW_START, STARTING), (ROW_OUTCOME, UPDATED)])
        c.equal(run.seen.flash, IMAGE, "EC flash after the update")
        check_model_report(c, run, in_pass_through=False)
        check_compare(c, run, settings=run.seen.settings_path)
        check_restarted(c, run)

    boot = FvBoot(DRIVERS_IMAGE, REQUESTED, Ec(BUSY), stop_at=AFTER_RESET, stop_in_boot=1,
                  limit=2 * LIMIT)
    return Scenario("board_ec_and_flash_busy_update", [boot], check, "board", ec_flash=OLD)


CUT_BLOCK = 64
CUT_INTO_BLOCK = 20_000     # accesses into the block: inside its program pass


def power_loss():
    """Standby power lost while block 64 is programmed; the board starts cold
    from the same flash file with the EC's flash as the cut left it."""

    def cut_at():
        return port_log.block_start(CUT_BLOCK) + CUT_INTO_BLOCK

    def check(c, runs):
        cut, again = runs
        c.that(cut.seen.log.power_cut, "no power cut in the first power-on's port log")
        c.that(UPDATED not in cut.text and not cut.reset_times(), "the cut run ended the update")
        half = cut.seen.flash or b""
        c.equal(blocks(half, 0, CUT_BLOCK), blocks(IMAGE, 0, CUT_BLOCK),
                f"blocks before {CUT_BLOCK} after the cut")
        c.equal(blocks(half, CUT_BLOCK + 1, 128), blocks(OLD, CUT_BLOCK + 1, 128),
                f"blocks after {CUT_BLOCK} after the cut (the old image)")
        c.that(blocks(half, CUT_BLOCK, CUT_BLOCK + 1) not in (blocks(IMAGE, CUT_BLOCK, CUT_BLOCK + 1),
                                                              blocks(OLD, CUT_BLOCK, CUT_BLOCK + 1)),
               f"block {CUT_BLOCK} neither half-written nor erased by the cut")
        ended = [e["data"]["reason"] for _, e in cut.events if e["event"] == "SHUTDOWN"]
        c.note(f"cut after {cut.seen.log.boots[0].access_count():,} accesses, QEMU ended: "
               f"{', '.join(ended) or 'no shutdown event'}")
        check_whole_update(c, again)
        check_restarted(c, again)
        check_second_boot(c, again)
        check_setup(c, again.vars_path, CLEARED)

    first = FvBoot(DRIVERS_IMAGE, REQUESTED, Ec(power_cut_after=cut_at), stop_at=None,
                   limit=LIMIT)
    second = FvBoot(DRIVERS_IMAGE, None, stop_at=BOOT_MANAGER, stop_in_boot=1,
                    limit=LIMIT, same_flash=True)
    return Scenario("board_power_lost_in_block_64_then_updates", [first, second], check, "board",
                    ec_flash=OLD)


SCENARIOS = ([full_update()] + [block_fault(*case) for case in BLOCK_FAULTS]
             + [init_fault(*case) for case in INIT_FAULTS] + [busy_update(), power_loss(), locked_setup()])
