// SPDX-License-Identifier: BSD-2-Clause-Patent
// The formatter's internal routines, shared between its source files and its
// tests. Nothing else in the drivers calls them.
#pragma once

#include "efi/efi_types.h"

namespace updater::format {

// The longest digit text is a 64-bit decimal with its sign (20 characters);
// one more byte holds the 0 that ends it.
inline constexpr UINTN DIGIT_SCRATCH_SIZE = 21;

// The status's 8-bit name, or null when it has none.
const CHAR8* StatusName(EFI_STATUS Status);

// Writes the digits of Value into Scratch least significant first (base 10 or
// 16; a negative value in base 10 gets a trailing "-"), ends them with a 0
// byte and returns the position of the last character before it. Without
// Is64, a hexadecimal value with bit 63 set is taken by its low 32 bits.
CHAR8* ValueToDigits(UINT64 Value, CHAR8* Scratch, UINT32 Base, bool Is64);

// Reads an optionally signed decimal after blanks and tabs, saturating at the
// 32-bit limits; End receives the first character not consumed. Only the low
// 8 bits of each character are looked at.
INT32 ParseDecimal(const CHAR16* Text, const CHAR16** End);

} // namespace updater::format
