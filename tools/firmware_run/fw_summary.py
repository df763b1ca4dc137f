# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The summary of a run under the real firmware, as ./run words its own, and
whether the run ended as the protocol says (the plan's expectation, derived
by ec_run from the protocol description, set beside what the machine did:
the console, QEMU's events, the EC model's flash, report and port log, and
"Setup" read back from the board flash)."""

import variables
from ec_device import EC_CMD_PORT, RESET_CONTROL_PORT
from updater_console import (BOOT_MANAGER, INIT_FAILED, MESSAGES, PROMPT, SKIPPED, UPDATE_FAILED,
                             UPDATED)
from variables import REQUEST, SETUP_ATTRIBUTES

import port_log  # noqa: E402  (tools/qemu_rig, on the path through ec_device)

GUARD_SET_THRESHOLD = 0xAA
# The console's ending message, as ec_run names the ending it implies.
ENDINGS = [(UPDATED, "updated"), (UPDATE_FAILED, "update failed"),
           (INIT_FAILED, "EC init failed"), (SKIPPED, "skipped")]


def update_seconds(boot):
    """QEMU's virtual clock (the host's while the guest runs) from the boot's
    first port access to its last command byte: the updater leaves
    pass-through mode before its restart pause, which the span leaves out."""
    def record(i):      # (ns, port, kind, value, 0)
        return port_log.RECORD.unpack_from(boot.data, i * port_log.RECORD.size)

    records = range(boot.first, boot.end)
    first = next(i for i in records if record(i)[2] in (port_log.READ, port_log.WRITE))
    last = next(i for i in reversed(records) if record(i)[1:3] == (EC_CMD_PORT, port_log.WRITE))
    return (record(last)[0] - record(first)[0]) / 1e9


def observed_ending(plan, result):
    if result.exit_reason == "guest-shutdown":
        return "powered off"
    text = result.boot_text(0)
    for message, ending in ENDINGS:
        if message in text:
            return ending
    if BOOT_MANAGER not in text:
        return None
    if plan["driver"] == "guard":
        guarded = result.ports[EC_CMD_PORT][:1] == bytes([GUARD_SET_THRESHOLD])
        return "boot continues" if guarded else "guard did not run"
    return "no request"


def setup_line(plan, board_path):
    expected = plan["expected"]["setup_after"]
    variable = variables.setup_variable(board_path)
    if variable is None:
        return expected is None, "absent after the run"
    if expected is None:
        return False, "present after the run, expected absent"
    expected = bytes.fromhex(expected)
    data = variable.data
    if len(data) <= REQUEST:
        same = data == expected and variable.attributes == SETUP_ATTRIBUTES
        return same, f"{len(data)} bytes, no request byte: " + ("unchanged" if same else "changed")
    others_kept = (len(data) == len(expected) and data[:REQUEST] == expected[:REQUEST]
                   and data[REQUEST + 1:] == expected[REQUEST + 1:])
    attributes_kept = variable.attributes == SETUP_ATTRIBUTES
    ok = others_kept and attributes_kept and data[REQUEST] == expected[REQUEST]
    request = "" if data[REQUEST] == expected[REQUEST] else f" (expected {expected[REQUEST]})"
    return ok, (f"update request {data[REQUEST]} after the run{request}; "
                f"the other {len(data) - 1:,} bytes "
                + ("unchanged" if others_kept else "CHANGED") + ", attributes "
                + ("unchanged" if attributes_kept else f"{variable.attributes:#x}"))


def second_boot_line(result):
    text = result.boot_text(1)
    log = result.seen.log
    accesses = log.boots[1].access_count() if len(log.boots) > 1 else 0
    prompt = any(m in text for m in MESSAGES)
    reached = BOOT_MANAGER in text
    ok = reached and not prompt and accesses == 0
    return ok, ((("a prompt" if PROMPT in text else "updater messages") if prompt else "no prompt")
                + f", {'no' if accesses == 0 else f'{accesses:,}'} EC access"
                + ("" if accesses == 1 else "es" if accesses else "")
                + (", reached the boot manager" if reached else ", did not reach the boot manager"))


def report(plan, result, progress, images, board_path, out):
    """Prints the summary to out; True when the run ended as the plan expects."""
    image, flash_before, expected_flash = images
    failures = []

    def line(label, text, ok=True, what=None):
        print(f"{label:<15}{text}", file=out)
        if not ok:
            failures.append(what or label)

    expected = plan["expected"]
    seen = observed_ending(plan, result)
    line("outcome", (seen or "no ending (the time limit stopped it)")
         + (", as expected" if seen == expected["ending"] else f", expected {expected['ending']}"),
         seen == expected["ending"])
    updater = plan["driver"] == "updater"
    flash = result.seen.flash
    boot = result.seen.log.boots[0] if result.seen.log.boots else None
    verified = progress.verified(flash, image)
    if updater:
        line("blocks", f"{verified} of 128 verified", verified == expected["blocks_verified"],
             f"blocks verified: expected {expected['blocks_verified']}")
    accesses = boot.access_count() if boot else 0
    never_busy = plan["never_busy_accesses"]
    if updater and verified == 128:
        extra = f", +{accesses - never_busy:,}" if accesses > never_busy else ""
        line("port accesses", f"{accesses:,} (never busy {never_busy:,}{extra})")
    else:
        line("port accesses", f"{accesses:,}")
    if seen == "updated":
        same, words = port_log.compare(result.seen.log_path, 0, image,
                                       result.seen.settings_path if plan["busy"] else None)
        line("protocol", words.splitlines()[0] if words else "?", same, "the protocol's sequence")
    if not updater:
        for port, written in result.ports.items():
            if port != RESET_CONTROL_PORT:
                line(f"port {port:#04x}", written.hex(" ") or "(nothing written)")
    violations = (result.seen.report or {}).get("violations")
    line("EC model", "no protocol violation" if violations == [] else
         f"{len(violations)} violation(s): {violations[0]}" if violations else "no report",
         violations == [])
    if updater:
        differing = sum(a != b for a, b in zip(flash or b"", image)) if flash else len(image)
        untouched = flash == flash_before and differing != 0
        line("EC flash", ("equals the EC image" if differing == 0 else
                          f"differs from the EC image in {differing:,} bytes")
             + (" (left as it was)" if untouched else ""), flash == expected_flash,
             "EC flash against the protocol's")
    seconds = update_seconds(boot) if progress.erased else None
    if seconds:
        line("EC traffic", f"{seconds:.2f} s from the handshake to leaving pass-through "
             f"(QEMU's clock in the port log), {accesses / seconds:,.0f} accesses per second")
    ok, text = setup_line(plan, board_path)
    line("Setup", text, ok)
    if expected["restart"]:
        ok, text = second_boot_line(result)
        line("second boot", text, ok)
    for failure in failures:
        print(f"check failed: {failure}", file=out)
    return not failures
