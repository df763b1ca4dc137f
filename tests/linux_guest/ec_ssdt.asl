/*
 * SPDX-License-Identifier: BSD-2-Clause-Patent
 *
 * The EC behind ports 0x62/0x66 (the rig's ec-model device) declared to the
 * guest's ACPI, so that Linux's ACPI EC driver takes it and ec_sys shows its
 * registers. QEMU's own tables declare no EC; QEMU appends this one to them
 * (-acpitable) and OVMF installs it with the rest.
 */
DefinitionBlock ("", "SSDT", 2, "ECRIG", "ECDEVICE", 1)
{
    Scope (\_SB)
    {
        Device (EC0)
        {
            Name (_HID, EisaId ("PNP0C09"))
            Name (_UID, One)
            /* Data port first, then command/status: the order the ACPI EC
             * device's resources are defined in. */
            Name (_CRS, ResourceTemplate ()
            {
                IO (Decode16, 0x0062, 0x0062, 0x00, 0x01)
                IO (Decode16, 0x0066, 0x0066, 0x00, 0x01)
            })
            /* A GPE of the ICH9 GPE0 block that none of QEMU's devices uses.
             * The model raises no SCI, so it never fires: Linux's EC driver
             * advances each transaction by polling the status register when
             * its wait for the GPE times out. */
            Name (_GPE, 0x10)
        }
    }
}
