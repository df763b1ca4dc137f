# SPDX-License-Identifier: BSD-2-Clause-Patent
"""What the firmware's console shows during an EC update: the updater's
messages and the rows it draws them on, and the boot manager's first words on
serial (where a boot that the updater let through continues)."""

BANNER = "The preparing update EC version is: 00.0A.00"
PROMPT = ("Please press 'Q' within 5 seconds if you want to skip this update, "
          "otherwise system would start updating EC.")
STARTING = "Starting update EC, please keep power and don't do anything during update!"
SKIPPED = "EC update skipped, system will continue boot!"
INIT_FAILED = "EC init failed, skip EC update! System would restart!"
UPDATED = "EC update successfully! System would restart!"
UPDATE_FAILED = "EC update failed! System would restart!"
MESSAGES = (BANNER, PROMPT, STARTING, SKIPPED, INIT_FAILED, UPDATED, UPDATE_FAILED)
ROW_BANNER, ROW_PROMPT, ROW_START, ROW_SKIPPED, ROW_OUTCOME = 10, 11, 12, 13, 15

BOOT_MANAGER = "BdsDxe: "        # the boot manager's first words on serial
