# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The one definition of the drivers' FILE GUIDs and dependency expressions.

The image build (tools/fv/make_module.py), the INF files and the firmware
image tools take them from here; docs/integration.md quotes them. A FILE GUID
names the driver inside every firmware volume it is built into: never change
one once shipped, and never reuse one.
"""

import dataclasses
import uuid

# Architectural protocols the DXE core installs into the system table's
# services: a driver that calls a service depends on its protocol.
EFI_VARIABLE_ARCH_PROTOCOL_GUID = uuid.UUID("1E5668E2-8481-11D4-BCF1-0080C73C8881")
EFI_VARIABLE_WRITE_ARCH_PROTOCOL_GUID = uuid.UUID("6441F818-6362-4E44-B570-7DBA31DD2453")
EFI_RESET_ARCH_PROTOCOL_GUID = uuid.UUID("27CFAC88-46CC-11D4-9A38-0090273FC14D")
EFI_METRONOME_ARCH_PROTOCOL_GUID = uuid.UUID("26BACCB2-6F42-11D4-BCE7-0080C73C8881")

# The names an EDK II tree declares for them (MdePkg), for the INF comments.
EDK2_PROTOCOL_NAMES = {
    EFI_VARIABLE_ARCH_PROTOCOL_GUID: "gEfiVariableArchProtocolGuid",
    EFI_VARIABLE_WRITE_ARCH_PROTOCOL_GUID: "gEfiVariableWriteArchProtocolGuid",
    EFI_RESET_ARCH_PROTOCOL_GUID: "gEfiResetArchProtocolGuid",
    EFI_METRONOME_ARCH_PROTOCOL_GUID: "gEfiMetronomeArchProtocolGuid",
}


@dataclasses.dataclass(frozen=True)
class Module:
    name: str  # the .efi's base name and the user-interface name
    file_guid: uuid.UUID
    depex: tuple  # protocol GUIDs, all required


MODULES = {
    module.name: module
    for module in (
        # GetVariable at entry, ResetSystem to power off.
        Module("ec_threshold_guard", uuid.UUID("AE73C5D2-970E-4418-9CBC-F9203B71B335"),
               (EFI_VARIABLE_ARCH_PROTOCOL_GUID, EFI_RESET_ARCH_PROTOCOL_GUID)),
        # Not needed at entry, but by the time the trigger arrives: the
        # variable services to read and clear the request, Stall for the prompt.
        Module("ec_flash_updater", uuid.UUID("C333ED31-0910-4076-AF75-35A90AF88C6B"),
               (EFI_VARIABLE_ARCH_PROTOCOL_GUID, EFI_VARIABLE_WRITE_ARCH_PROTOCOL_GUID,
                EFI_METRONOME_ARCH_PROTOCOL_GUID)),
    )
}

# The FILE GUID of the platform-side sample that installs the update trigger
# (firmware/sample/trigger/, not a delivered driver), as its INF gives it;
# the firmware-image tests build the sample in. Reserved here so that no
# delivered module ever takes it.
TRIGGER_SAMPLE = "ec_trigger_sample"
TRIGGER_SAMPLE_FILE_GUID = uuid.UUID("E3DF4BCE-7A9D-464D-8E7D-D1F88E653FA6")
