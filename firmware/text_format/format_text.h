// SPDX-License-Identifier: BSD-2-Clause-Patent
// A small UTF-16 formatter for console text: no allocation, no firmware call,
// no state between calls.
#pragma once

#include "efi/efi_types.h"
#include "efi/efi_varargs.h"

// Size counts CHAR16 slots including the terminator; 0 means no limit.
// Every call returns the count written before the terminator, or all bits set
// when Buffer or Format is null.
UINT64 EFIAPI FormatText(CHAR16* Buffer, const CHAR16* Format, ...);
UINT64 EFIAPI FormatTextN(CHAR16* Buffer, UINT64 Size, const CHAR16* Format, ...);
UINT64 FormatTextV(CHAR16* Buffer, UINT64 Size, const CHAR16* Format, EFI_VA_LIST Args);
