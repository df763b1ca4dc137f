// SPDX-License-Identifier: BSD-2-Clause-Patent
// The few UEFI definitions the test application and the test driver need
// beyond the drivers' own: looking up a protocol, and the shell's parameters
// protocol that carries the command line.
#pragma once

#include "efi/efi_system_table.h"

using EFI_HANDLE_PROTOCOL = EFI_STATUS(EFIAPI*)(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                                VOID** Interface);

using EFI_LOCATE_PROTOCOL = EFI_STATUS(EFIAPI*)(const EFI_GUID* Protocol, VOID* Registration,
                                                VOID** Interface);

static_assert(offsetof(EFI_BOOT_SERVICES, HandleProtocol) == 152);
static_assert(offsetof(EFI_BOOT_SERVICES, LocateProtocol) == 320);

// Installed by the UEFI Shell on every application it starts.
inline constexpr EFI_GUID ShellParametersProtocolGuid = {
    0x752F3136, 0x4E16, 0x4FDC, {0xA2, 0x2A, 0xE5, 0xF4, 0x68, 0x12, 0xF4, 0xCA}};

struct EFI_SHELL_PARAMETERS_PROTOCOL {
  CHAR16** Argv;
  UINTN Argc;
  VOID* StdIn;
  VOID* StdOut;
  VOID* StdErr;
};

// The two names the drivers meet the platform by, written here from the
// platform's own definitions rather than taken from the driver sources.
inline constexpr EFI_GUID TestSetupGuid = {
    0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};
inline constexpr EFI_GUID TestTriggerGuid = {
    0xFEDF8E0C, 0xE147, 0x11E3, {0x99, 0x03, 0xB8, 0xE8, 0x56, 0x2C, 0xBA, 0xFA}};
