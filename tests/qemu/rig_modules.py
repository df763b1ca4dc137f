# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Puts the firmware rig's modules (tools/firmware_run: QEMU, the EC device,
the images, the variables) on the import path: the scenarios boot the same
machine `./run firmware` does. Imported first by every entry point here."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "firmware_run"))
