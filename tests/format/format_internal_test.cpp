// SPDX-License-Identifier: BSD-2-Clause-Patent
// The formatter's internal routines: decimal parsing, digit conversion and
// status names.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "text_format/format_text_internal.h"

namespace {

using namespace updater::format;

TEST(ParseDecimal, SignsSaturationAndEnd) {
  struct Case {
    const CHAR16* Text;
    INT32 Value;
    size_t Consumed;
  };
  const Case Cases[] = {
      {u"", 0, 0},
      {u"   ", 0, 3},
      {u" \t12x", 12, 4},
      {u"abc", 0, 0},
      {u"2147483647", 2147483647, 10},
      {u"2147483648", 2147483647, 10},
      {u"99999999999", 2147483647, 11},
      {u"18446744073709551616", 2147483647, 20}, // 2^64 must not wrap round
      {u"000000000000000000000001", 1, 24},
      {u"-2147483648", -2147483647 - 1, 11},
      {u"-2147483649", -2147483647 - 1, 11},
      {u"-99999999999999999999", -2147483647 - 1, 21},
      {u"-+7", -7, 3},
      {u"+-7", 0, 1},
      {u"--5", 0, 1},
      {u"++5", 0, 1},
      {u"-", 0, 1},
      {u"\u0131\u0132", 12, 2}, // digits by their low 8 bits
      {u"\u0120\u01095", 5, 3}, // blank and tab by their low 8 bits
      {u"\u012D\u0133", -3, 2}, // minus by its low 8 bits
      {u"\u01005", 0, 0},       // low 8 bits zero: nothing consumed
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(::testing::Message() << "case #" << (&C - Cases));
    const CHAR16* End = nullptr;
    EXPECT_EQ(ParseDecimal(C.Text, &End), C.Value);
    EXPECT_EQ(End, C.Text + C.Consumed);
  }
}

TEST(ValueToDigits, MagnitudeSignAndOrder) {
  struct Case {
    UINT64 Value;
    UINT32 Base;
    bool Is64;
    const char* Reading; // the digits in reading order
  };
  const Case Cases[] = {
      {0, 10, false, "0"},
      {0, 16, true, "0"},
      {1234567890, 10, false, "1234567890"},
      {0x8000000000000000, 10, true, "-9223372036854775808"},
      {~UINT64{0}, 10, false, "-1"},
      {~UINT64{0}, 16, true, "ffffffffffffffff"},
      {~UINT64{0}, 16, false, "ffffffff"},
      {0x7FFFFFFFFFFFFFFF, 16, false, "7fffffffffffffff"}, // bit 63 clear: used whole
      {0x7FFFFFFFFFFFFFFF, 10, true, "9223372036854775807"},
      {0xABCDEF, 16, false, "abcdef"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Reading);
    CHAR8 Scratch[DIGIT_SCRATCH_SIZE + 1];
    Scratch[DIGIT_SCRATCH_SIZE] = 'k';
    const CHAR8* Last = ValueToDigits(C.Value, Scratch, C.Base, C.Is64);
    const size_t Length = std::strlen(C.Reading);
    ASSERT_EQ(Last, Scratch + Length - 1);
    EXPECT_EQ(Scratch[Length], 0);
    const std::string LeastSignificantFirst(Scratch, Length);
    EXPECT_EQ(std::string(LeastSignificantFirst.rbegin(), LeastSignificantFirst.rend()), C.Reading);
    EXPECT_EQ(Scratch[DIGIT_SCRATCH_SIZE], 'k');
  }
}

TEST(StatusName, BitRulesAndTableBounds) {
  constexpr EFI_STATUS E = EFI_ERROR_BIT;
  constexpr EFI_STATUS B62 = 1ULL << 62;
  constexpr EFI_STATUS B61 = 1ULL << 61;
  constexpr EFI_STATUS B60 = 1ULL << 60;
  struct Case {
    EFI_STATUS Status;
    const char* Name; // null: no name
  };
  const Case Cases[] = {
      {0, "EFI_SUCCESS"},
      {1, "EFI_WARN_UNKNOWN_GLYPH"},
      {4, "EFI_WARN_BUFFER_TOO_SMALL"},
      {5, "EFI_WARN_STALE_DATA"},
      {6, nullptr},
      {B62 | 1, nullptr},
      {B60 | 1, nullptr},
      {B61, "EFI_WARN_INTERRUPT_SOURCE_PENDING"},
      {B61 | 1, "EFI_WARN_INTERRUPT_SOURCE_QUIESCED"},
      {B62 | B61, "EFI_WARN_INTERRUPT_SOURCE_PENDING"},
      {B62 | B61 | 1, "EFI_WARN_INTERRUPT_SOURCE_QUIESCED"},
      {B61 | 2, nullptr},
      {E, nullptr},
      {E | 1, "EFI_LOAD_ERROR"},
      {E | 7, "EFI_DEVICE_ERROR"},
      {E | 25, "EFI_INCOMPATIBLE_VERSION"},
      {E | 29, "EFI_UNDEFINED_29"},
      {E | 35, "EFI_HTTP_ERROR"},
      {E | 36, nullptr},
      {E | B60 | 1, nullptr},
      {E | B61, "EFI_INTERRUPT_PENDING"},
      {E | B61 | 1, "EFI_REQUEST_UNLOAD_IMAGE"},
      {E | B61 | 2, "EFI_NOT_AVAILABLE_YET"},
      {E | B61 | 3, nullptr},
      {E | B62 | B61 | 2, "EFI_NOT_AVAILABLE_YET"},
      {E | B62, nullptr},
      {E | B62 | 1, "EFI_DBE_EOF"},
      {E | B62 | 2, "EFI_DBE_BOF"},
      {E | B62 | 3, nullptr},
      {E | B62 | 7, nullptr},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << C.Status);
    const CHAR8* Name = StatusName(C.Status);
    if (C.Name == nullptr) {
      EXPECT_EQ(Name, nullptr);
    } else {
      ASSERT_NE(Name, nullptr);
      EXPECT_STREQ(Name, C.Name);
    }
  }
}

} // namespace
