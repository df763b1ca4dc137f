// The threshold guard: one check at load, power-off when the EC's reading is
// below the threshold Setup gives.
#pragma once

#include "efi/efi_system_table.h"

namespace guard {

extern EFI_SYSTEM_TABLE* SystemTable;
extern EFI_BOOT_SERVICES* BootServices;
extern EFI_RUNTIME_SERVICES* RuntimeServices;

inline constexpr UINT8 EC_CMD_GUARD_THRESHOLD = 0xAA; // then the threshold as a data byte
inline constexpr UINT8 EC_CMD_READ = 0x80;            // ACPI EC read: register, then reply
inline constexpr UINT8 EcGuardRegister = 0x93;

} // namespace guard

extern "C" EFI_STATUS EFIAPI GuardEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
