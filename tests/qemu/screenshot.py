# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Renders the firmware's graphics console during the update prompt to a PNG.

usage: screenshot.py IMAGE_DIR OUTPUT.png

Boots OVMF with the updater loaded and a request in Setup, takes QEMU's
screendump (PPM) while the prompt is up, then answers Q so the run ends.
"""

import os
import subprocess
import sys
import tempfile
import time

import rig_modules  # noqa: F401  (tools/firmware_run on the path, before the rig's modules)
import scenarios
import suite
import vm
from ec_device import Ec


def main():
    image_dir, output = sys.argv[1], os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory(prefix="ecshot-") as workdir:
        vars_path = os.path.join(workdir, "vars.fd")
        vm.fresh_variable_store(vars_path)
        fat = os.path.join(workdir, "fat")
        suite.write_fat_folder(fat, image_dir, [scenarios.set_setup(1, 0, 0),
                                                f"load {scenarios.UPDATER}", "setup_tool trigger"])
        guest = vm.Guest(workdir, vm.SplitFirmware(vars_path), Ec(), fat)
        try:
            guest.start()
            deadline = time.monotonic() + 40
            if guest.wait_for("Press ESC", deadline) < 0:
                sys.exit("screenshot: the shell did not start")
            guest.send(" ")
            if guest.wait_for(scenarios.PROMPT, deadline) < 0:
                sys.exit("screenshot: the update prompt did not appear")
            time.sleep(0.5)  # let the display catch up with the framebuffer
            ppm = os.path.join(workdir, "prompt.ppm")
            guest.screendump(ppm)
            guest.send("q")
            guest.finish(deadline)
        finally:
            guest.kill()
        os.makedirs(os.path.dirname(output), exist_ok=True)
        with open(ppm, "rb") as source, open(output, "wb") as target:
            subprocess.run(["pnmtopng", "-compression", "9"], stdin=source, stdout=target,
                           check=True)
    print(f"wrote {output}")


if __name__ == "__main__":
    main()
