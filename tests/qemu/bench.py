#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Times the full EC update under OVMF in QEMU (TCG) with the EC model: the
programming phase by QEMU's clock in the port log (first EC access to leaving
pass-through; under TCG that clock follows the host's while the guest runs),
the same phase as the console showed it (row 12 to row 15 on serial, which
lags while the processor is busy with port I/O), and the port accesses per
second.

usage: bench.py IMAGE_DIR [--keep DIR]
"""

import argparse
import shutil
import sys
import tempfile

import rig_modules  # noqa: F401  (tools/firmware_run on the path, before the rig's modules)
import board_scenarios
import ec_device
import fw_summary
import suite
from fv_scenarios import DRIVERS_IMAGE
from scenarios import STARTING, UPDATED

LPC_ACCESS_US = 1.0     # one byte-wide port access on a real LPC bus


def measure(image_dir, workdir):
    images = suite.BuiltImages(image_dir, workdir, [DRIVERS_IMAGE])
    try:
        scenario = board_scenarios.full_update()
        flash = f"{workdir}/ec_flash.bin"
        with open(flash, "wb") as f:
            f.write(scenario.ec_flash)
        run = suite.run_volume_boot(workdir, images, scenario.boots[0], 1, flash)
    finally:
        images.close()
    start, end = run.time_of(STARTING), run.time_of(UPDATED)
    if None in (start, end):
        raise RuntimeError("the update did not run from row 12 to row 15")
    boot = run.seen.log.boots[0]
    return fw_summary.update_seconds(boot), end - start, boot.access_count()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("image_dir")
    parser.add_argument("--keep", help="keep the run's files in this folder")
    args = parser.parse_args()
    ec_device.qemu_binary()
    workdir = tempfile.mkdtemp(prefix="ecbench-", dir=args.keep)
    try:
        seconds, console, accesses = measure(args.image_dir, workdir)
    finally:
        if args.keep is None:
            shutil.rmtree(workdir, ignore_errors=True)
    print(f"programming phase  {seconds:.2f} s by QEMU's clock (first EC access to leaving "
          "pass-through)")
    print(f"on the console     {console:.2f} s (row 12 to row 15 as serial carried them)")
    print(f"port accesses      {accesses:,} in the boot, {accesses / seconds:,.0f} per second")
    print(f"on an LPC bus      {accesses * LPC_ACCESS_US / 1e6:.2f} s at {LPC_ACCESS_US:g} us "
          "per access")
    return 0


if __name__ == "__main__":
    sys.exit(main())
