// SPDX-License-Identifier: BSD-2-Clause-Patent
// The "Setup" variable bytes the two drivers share with the rest of the
// firmware, and the GUIDs that name what they meet.
#pragma once

#include "efi/efi_types.h"

inline constexpr EFI_GUID SetupVariableGuid = {
    0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};

// The variable's name and vendor GUID, defined once for both drivers. It is a
// pointer-bearing object, so a loaded image relocates it like any other data.
struct SETUP_VARIABLE_ID {
  const CHAR16* Name;
  const EFI_GUID* Guid;
};
extern const SETUP_VARIABLE_ID SetupVariable;

// Another firmware component installs this protocol to start the update.
inline constexpr EFI_GUID UpdateTriggerProtocolGuid = {
    0xFEDF8E0C, 0xE147, 0x11E3, {0x99, 0x03, 0xB8, 0xE8, 0x56, 0x2C, 0xBA, 0xFA}};

// Size of the stack copy of "Setup". A larger variable does not fit; the
// firmware then answers EFI_BUFFER_TOO_SMALL and the drivers treat it as
// unreadable.
inline constexpr UINTN SETUP_DATA_SIZE = 3180;

inline constexpr UINTN SETUP_EC_UPDATE_REQUEST = 3172;  // 1 = update requested
inline constexpr UINTN SETUP_EC_GUARD_ENABLE = 3176;    // non-zero = guard on
inline constexpr UINTN SETUP_EC_GUARD_THRESHOLD = 3177; // unsigned threshold

inline constexpr UINT8 EC_UPDATE_REQUESTED = 1;

// True when a read of DataSize bytes includes the byte at Offset.
[[nodiscard]] constexpr bool SetupHasByte(UINTN DataSize, UINTN Offset) {
  return DataSize > Offset;
}

static_assert(SETUP_EC_GUARD_THRESHOLD < SETUP_DATA_SIZE);
