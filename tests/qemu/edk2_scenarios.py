# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Scenarios on OVMF built from EDK II source with both drivers and the
trigger sample in its DXE volume, built there from the package's source INFs
by the EDK II build itself from the integration guide's source lines
(tests/edk2/run.sh writes build/edk2/ovmf/). Those lines set the banner's
version bytes: the banner these scenarios expect follows them.

Each is a board-flash scenario of fv_scenarios or board_scenarios, unchanged
in its boots and checks, on a board flash made of that build's OVMF_CODE.fd
and a copy of its own OVMF_VARS.fd with "Setup" written in, the EC model
behind the ports.
"""

import copy
import os
import sys

import board_scenarios
import fv_scenarios
from scenarios import BANNER, Scenario

GROUP = "edk2"
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "edk2"))
import guide  # noqa: E402

SET = guide.constants(guide.source_blocks()["dsc"])
# The guide's version bytes in place of the default build's "00.0A.00".
EDK2_BANNER = (BANNER.rsplit(" ", 1)[0]
               + f" {SET.get('EC_VERSION_FIELD1', 0):02X}.0A.{SET.get('EC_VERSION_FIELD3', 0):02X}")
BUILT = os.path.join(REPO, "build", "edk2", "ovmf")
CODE = os.path.join(BUILT, "OVMF_CODE.fd")
VARS = os.path.join(BUILT, "OVMF_VARS.fd")


def built_firmware():
    """Fails the scenario before its first boot when the EDK II stage has not run."""
    for path in (CODE, VARS):
        if not os.path.isfile(path):
            raise FileNotFoundError(f"{os.path.normpath(path)} missing: run tests/edk2/run.sh")


def on_edk2_build(scenario):
    boots = []
    for boot in scenario.boots:
        boot = copy.copy(boot)
        boot.image, boot.vars_base = CODE, VARS
        boots.append(boot)
    name = scenario.name.replace("volume_", "edk2_", 1).replace("board_", "edk2_", 1)
    return Scenario(name, boots, scenario.check, GROUP, scenario.ec_flash)


SCENARIOS = [on_edk2_build(s) for s in (
    fv_scenarios.guard_powers_off(*fv_scenarios.GUARD_OFF_CASES[0]),
    fv_scenarios.guard_boots_on(),
    fv_scenarios.updater_q_skips(EDK2_BANNER),
    board_scenarios.full_update(EDK2_BANNER))]
