# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Scenarios on OVMF built from EDK II source with both drivers in its DXE
volume, put there by the EDK II build itself from the integration guide's
lines (tests/edk2/run.sh writes build/edk2/ovmf/).

Each is a firmware-volume scenario of fv_scenarios, unchanged in its boots
and checks, powered on with that build's OVMF_CODE.fd and a copy of its own
OVMF_VARS.fd with "Setup" written in.
"""

import os

import fv_images
import fv_scenarios
import vm
from scenarios import Scenario

GROUP = "edk2"
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILT = os.path.join(REPO, "build", "edk2", "ovmf")
CODE = os.path.join(BUILT, "OVMF_CODE.fd")
VARS = os.path.join(BUILT, "OVMF_VARS.fd")


def built_firmware():
    for path in (CODE, VARS):
        if not os.path.isfile(path):
            raise FileNotFoundError(f"{os.path.normpath(path)} missing: run tests/edk2/run.sh")
    return CODE, VARS


def run_boots(scenario, workdir, drive):
    """The scenario's power-ons; drive(guest, boot, workdir, vars_path, number) runs one."""
    code, vars_base = built_firmware()
    runs = []
    for number, boot in enumerate(scenario.boots, 1):
        vars_path = os.path.join(workdir, "vars.fd")
        fv_images.prepare_vars(vars_path, boot.setup, vars_base)
        guest = vm.Guest(workdir, None, vars_path, boot.ec_data, boot.ec_status,
                         tag=f"boot{number}", code=code)
        runs.append(drive(guest, boot, workdir, vars_path, number))
    return runs


def on_edk2_build(scenario):
    return Scenario(scenario.name.replace("volume_", "edk2_", 1), scenario.boots, scenario.check,
                    GROUP)


SCENARIOS = [on_edk2_build(s) for s in (fv_scenarios.guard_powers_off(),
                                        fv_scenarios.guard_boots_on(),
                                        fv_scenarios.updater_q_skips())]
