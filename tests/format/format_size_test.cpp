// SPDX-License-Identifier: BSD-2-Clause-Patent
// The size rule: a cut output is exactly the start of the uncut one, wherever
// the cut falls, and nothing is written past the last slot.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/format/format_test_support.h"

namespace {

constexpr CHAR16 CANARY = 0xCCCC;
constexpr UINT64 CANARY_SLOTS = 4;

struct Case {
  const CHAR16* Format;
  UINT64 A, B;
};

TEST(FormatTextSize, CutOutputIsPrefixOfFullOutput) {
  const Case Cases[] = {
      {u"Plain text only", 0, 0},
      {u"n=%012d;", 42, 0},
      {u"[%*X]", 9, 0xBEEF},
      {u"<%s>", Slot(u"wide text"), 0},
      {u"<%a>", Slot("narrow text"), 0},
      {u"id %g.", Slot(&SampleGuid), 0},
      {u"%Gz", Slot(&SampleGuid), 0},
      {u"[%r]", EFI_DEVICE_ERROR, 0},
      {u"%r!", EFI_ERROR_BIT | 0x1234, 0},
      {u"a%cb%c", 0, u'z'},
  };
  for (const Case& C : Cases) {
    const std::u16string Full = Unlimited(C.Format, C.A, C.B);
    for (UINT64 Size = 1; Size <= Full.size() + 2; ++Size) {
      SCOPED_TRACE(::testing::Message() << "case #" << (&C - Cases) << ", size " << Size);
      std::vector<CHAR16> Buffer(Size + CANARY_SLOTS, CANARY);
      const UINT64 Count = FormatTextN(Buffer.data(), Size, C.Format, C.A, C.B);
      ASSERT_EQ(Count, std::min<UINT64>(Size - 1, Full.size()));
      EXPECT_EQ(std::u16string(Buffer.data(), Count), Full.substr(0, Count));
      EXPECT_EQ(Buffer[Count], 0);
      EXPECT_TRUE(
          std::all_of(Buffer.begin() + Size, Buffer.end(), [](CHAR16 Ch) { return Ch == CANARY; }));
    }
  }
}

} // namespace
