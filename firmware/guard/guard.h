// SPDX-License-Identifier: BSD-2-Clause-Patent
// The threshold guard: one check at load, power-off when the EC's reading is
// below the threshold Setup gives.
#pragma once

#include "efi/efi_system_table.h"

namespace guard {

extern EFI_SYSTEM_TABLE* SystemTable;
extern EFI_BOOT_SERVICES* BootServices;
extern EFI_RUNTIME_SERVICES* RuntimeServices;

} // namespace guard

extern "C" EFI_STATUS EFIAPI GuardEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
