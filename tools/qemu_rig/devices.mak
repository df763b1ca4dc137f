# SPDX-License-Identifier: BSD-2-Clause-Patent
# The firmware rig's device list: the q35 board (its ICH9 LPC, AHCI for the
# FAT drive, pflash for the board flash), the EC model on the EC ports, and a
# PCI VGA so QMP screendump has a screen to show.
CONFIG_Q35=y
CONFIG_EC_MODEL=y
CONFIG_VGA_PCI=y
# QEMU gives the board a parallel port by default (-nographic included).
CONFIG_PARALLEL=y
