// SPDX-License-Identifier: BSD-2-Clause-Patent
// Helpers shared by the formatter tests.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "text_format/format_text.h"

// Every argument travels in one 64-bit slot, pointers included.
inline UINT64 Slot(const void* Pointer) {
  return reinterpret_cast<UINT64>(Pointer);
}

// The trigger protocol's GUID, in both printed forms.
inline constexpr EFI_GUID SampleGuid = {
    0xFEDF8E0C, 0xE147, 0x11E3, {0x99, 0x03, 0xB8, 0xE8, 0x56, 0x2C, 0xBA, 0xFA}};
inline const std::u16string SampleGuidLower = u"fedf8e0c-e147-11e3-9903-b8e8562cbafa";
inline const std::u16string SampleGuidUpper = u"FEDF8E0C-E147-11E3-9903-B8E8562CBAFA";

// Formats with no size limit into a roomy buffer; slots the format does not
// use are ignored. Checks the terminator sits right after the counted text.
inline std::u16string Unlimited(const CHAR16* Format, UINT64 A = 0, UINT64 B = 0, UINT64 C = 0) {
  CHAR16 Buffer[512];
  const UINT64 Count = FormatText(Buffer, Format, A, B, C);
  if (Count >= std::size(Buffer)) {
    ADD_FAILURE() << "count " << Count << " for a " << std::size(Buffer) << "-slot buffer";
    return {};
  }
  EXPECT_EQ(Buffer[Count], 0);
  return std::u16string(Buffer, Count);
}
