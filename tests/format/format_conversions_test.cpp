// SPDX-License-Identifier: BSD-2-Clause-Patent
// Conversions, flags, widths and the handling of unusual format text.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/format/format_test_support.h"

namespace {

constexpr UINT64 MINUS_ONE = ~UINT64{0};
constexpr UINT64 ERROR_BIT = EFI_ERROR_BIT;

struct Case {
  const CHAR16* Format;
  UINT64 A, B, C;
  std::u16string Expected;
};

void ExpectAll(const std::vector<Case>& Cases) {
  for (const Case& C : Cases) {
    SCOPED_TRACE(::testing::Message() << "case #" << (&C - Cases.data()));
    EXPECT_EQ(Unlimited(C.Format, C.A, C.B, C.C), C.Expected);
  }
}

TEST(FormatText, DocumentedEdgeCases) {
  ExpectAll({
      {u"%d", 0, 0, 0, u"0"},
      {u"%05x", 0, 0, 0, u"00000"},
      {u"%d", MINUS_ONE, 0, 0, u"-1"},
      {u"%x", MINUS_ONE, 0, 0, u"ffffffff"},
      {u"%X", MINUS_ONE, 0, 0, u"FFFFFFFF"},
      {u"%lx", MINUS_ONE, 0, 0, u"ffffffffffffffff"},
      {u"%ld", 0x8000000000000000, 0, 0, u"-9223372036854775808"},
      {u"%d", 0x80000000, 0, 0, u"-2147483648"},
      {u"%d", 0x12345678FFFFFFFF, 0, 0, u"-1"},
      {u"%5d", static_cast<UINT64>(-42), 0, 0, u"  -42"},
      {u"%05d", static_cast<UINT64>(-42), 0, 0, u"00-42"},
      {u"%2d", 12345, 0, 0, u"12345"},
      {u"%02X", 10, 0, 0, u"0A"},
      {u"%*d", 4, 7, 0, u"   7"},
      {u"%+d", 5, 0, 0, u"5"},
      {u"% d", 5, 0, 0, u"5"},
      {u"%-d", 5, 0, 0, u"5"},
      {u"%p", 0x1F, 0, 0, u"1F"},
      {u"%c", 0, 0, 0, std::u16string(1, u'\0')},
      {u"%s", Slot(u""), 0, 0, u""},
      {u"%q", 0, 0, 0, u"q"},
      {u"%5q", 0, 0, 0, u"q"},
      {u"%lq", 0, 0, 0, u"q"},
      {u"%ls", 0, 0, 0, u"s"},
      {u"%lld", 7, 0, 0, u"ld"},
      {u"%r", 0, 0, 0, u"EFI_SUCCESS"},
      {u"%r", EFI_DEVICE_ERROR, 0, 0, u"EFI_DEVICE_ERROR"},
      {u"%r", 6, 0, 0, u"Status Code(6)"},
      {u"%r", ERROR_BIT | 36, 0, 0, u"Status Code(24)"},
      {u"%r", ERROR_BIT, 0, 0, u"Status Code(0)"},
      {u"%g", Slot(&SampleGuid), 0, 0, SampleGuidLower},
      {u"%G", Slot(&SampleGuid), 0, 0, SampleGuidUpper},
  });
}

TEST(FormatText, NumbersAndText) {
  const char Narrow[] = {'A', static_cast<char>(0x80), static_cast<char>(0xFF), 0};
  const std::u16string Widened = {u'A', 0xFF80, 0xFFFF};
  ExpectAll({
      {u"%x", 0x80000000, 0, 0, u"80000000"},
      {u"%d", 0x7FFFFFFF, 0, 0, u"2147483647"},
      {u"%i", static_cast<UINT64>(-7), 0, 0, u"-7"},
      {u"%li", 0xFFFFFFFF, 0, 0, u"4294967295"},
      {u"%lX", 0xABCDEF0123456789, 0, 0, u"ABCDEF0123456789"},
      {u"%lp", 0xABCDEF0123456789, 0, 0, u"ABCDEF0123456789"},
      {u"%p", 0xABCDEF0123456789, 0, 0, u"ABCDEF0123456789"},
      {u"%S|%a", Slot(Narrow), Slot(Narrow), 0, Widened + u"|" + Widened},
      {u"%s and %c", Slot(u"wide"), u'Z', 0, u"wide and Z"},
      {u"%c", 0x12345678ABCD, 0, 0, std::u16string(1, 0xABCD)},
      {u"100%%", 0, 0, 0, u"100%"},
      {u"%r", 0x4000000000000001, 0, 0, u"Status Code(1)"},
      {u"%r", ERROR_BIT | 0xABCDEF, 0, 0, u"Status Code(ABCDEF)"},
      {u"%r", 0x2000000000000001, 0, 0, u"EFI_WARN_INTERRUPT_SOURCE_QUIESCED"},
  });
}

// An unrecognised letter drops the "%" and its flags, takes no argument and
// is written as text; a "%" in its place starts a new conversion.
TEST(FormatText, UnrecognisedLetters) {
  ExpectAll({
      {u"ab%", 0, 0, 0, u"ab"},
      {u"ab%0", 0, 0, 0, u"ab"},
      {u"ab%12", 0, 0, 0, u"ab"},
      {u"ab%l", 0, 0, 0, u"ab"},
      {u"%-", 0, 0, 0, u""},
      {u"%q%d", 5, 0, 0, u"q5"},
      {u"%*q%d", 99, 5, 0, u"q5"},
      {u"%0%d", 5, 0, 0, u"5"},
      {u"%lS%d", 5, 0, 0, u"S5"},
      {u"%lc%d", 5, 0, 0, u"c5"},
      {u"%lg%d", 5, 0, 0, u"g5"},
      {u"%lr%d", 5, 0, 0, u"r5"},
      {u"%l%d", 5, 0, 0, u"5"},
      {u"%D%u%d", 5, 0, 0, u"Du5"},
      {u"%+-5d", 0, 0, 0, u"-5d"},
  });
}

TEST(FormatText, WidthAndFill) {
  ExpectAll({
      {u"%08X", 0xBEEF, 0, 0, u"0000BEEF"},
      {u"%8d", static_cast<UINT64>(-5), 0, 0, u"      -5"},
      {u"%020ld", 0x8000000000000000, 0, 0, u"-9223372036854775808"},
      {u"%021ld", 0x8000000000000000, 0, 0, u"0-9223372036854775808"},
      {u"%0*x", 6, 0xAB, 0, u"0000ab"},
      {u"%*d", 0xFFFFFFFF00000003, 9, 0, u"  9"}, // only the low 32 bits count
      {u"%4p", 0xA, 0, 0, u"   A"},
      {u"%\u0134d", 7, 0, 0, u"   7"}, // width digits by their low 8 bits
      {u"%10s|%05c|%40g", Slot(u"ab"), u'c', Slot(&SampleGuid), u"ab|c|" + SampleGuidLower},
      {u"%30r", 0, 0, 0, u"EFI_SUCCESS"},
  });
}

// g/G and x/X are found by the low 8 bits with the case bit cleared; only the
// exact upper-case letters give upper case. Other letters must match exactly.
TEST(FormatText, LetterCaseRule) {
  const std::u16string WideS(1, 0x0173);
  ExpectAll({
      {u"%\u0167", Slot(&SampleGuid), 0, 0, SampleGuidLower},
      {u"%\u0147", Slot(&SampleGuid), 0, 0, SampleGuidLower},
      {u"%\uFF47", Slot(&SampleGuid), 0, 0, SampleGuidLower},
      {u"%\u0178", 0xABC, 0, 0, u"abc"},
      {u"%\u0158", 0xABC, 0, 0, u"abc"},
      {u"%l\u0158", 0xABC00000000, 0, 0, u"abc00000000"},
      {u"%\u0173%d", 5, 0, 0, WideS + u"5"},
      {u"%\u0164%\u0170%d", 5, 0, 0, u"\u0164\u01705"},
  });
}

// Null text and GUID pointers print a marker rather than being read.
TEST(FormatText, NullPointersPrintMarker) {
  ExpectAll({
      {u"%s|%S|%a", 0, 0, 0, u"(null)|(null)|(null)"},
      {u"%g|%G", 0, 0, 0, u"(null)|(null)"},
  });
  CHAR16 Buffer[4];
  EXPECT_EQ(FormatTextN(Buffer, std::size(Buffer), u"%s", Slot(nullptr)), 3u);
  EXPECT_EQ(std::u16string(Buffer), u"(nu");
}

// A negative width counts as a huge one; without a size limit it would fill
// past any buffer, so there it means no width.
TEST(FormatText, NegativeWidthWithoutLimitIsNoWidth) {
  ExpectAll({
      {u"%*d", MINUS_ONE, 42, 0, u"42"},
      {u"%0*x", 0x80000000, 0xA, 0, u"a"},
      {u"%-5d", 42, 0, 0, u"42"},
      {u"%0-2147483648d", 42, 0, 0, u"42"},
      {u"%5d%*d", 1, 0xFFFFFFFE, 42, u"    142"},
  });
}

TEST(FormatText, NegativeWidthWithLimitFillsToTheEnd) {
  CHAR16 Buffer[8];
  EXPECT_EQ(FormatTextN(Buffer, std::size(Buffer), u"x%*dy", MINUS_ONE, 42), 7u);
  EXPECT_EQ(std::u16string(Buffer), u"x      ");
  EXPECT_EQ(FormatTextN(Buffer, std::size(Buffer), u"%0-3d", 42), 7u);
  EXPECT_EQ(std::u16string(Buffer), u"0000000");
}

TEST(FormatText, RefusesNullBufferOrFormat) {
  CHAR16 Buffer[2] = {u'k', u'k'};
  EXPECT_EQ(FormatText(nullptr, u"x"), ~UINT64{0});
  EXPECT_EQ(FormatTextN(nullptr, 5, u"x"), ~UINT64{0});
  EXPECT_EQ(FormatText(Buffer, nullptr), ~UINT64{0});
  EXPECT_EQ(FormatTextN(Buffer, 1, nullptr), ~UINT64{0});
  EXPECT_EQ(Buffer[0], u'k');
}

TEST(FormatText, SmallestBuffers) {
  CHAR16 Buffer[3] = {u'k', u'k', u'k'};
  EXPECT_EQ(FormatText(Buffer, u""), 0u);
  EXPECT_EQ(Buffer[0], 0);
  EXPECT_EQ(Buffer[1], u'k');

  Buffer[0] = u'k';
  EXPECT_EQ(FormatTextN(Buffer, 1, u"%s", Slot(u"never read")), 0u);
  EXPECT_EQ(Buffer[0], 0);
  EXPECT_EQ(Buffer[1], u'k');

  EXPECT_EQ(FormatTextN(Buffer, 2, u"ab"), 1u);
  EXPECT_EQ(Buffer[0], u'a');
  EXPECT_EQ(Buffer[1], 0);
  EXPECT_EQ(Buffer[2], u'k');
}

TEST(FormatText, VersionBanner) {
  CHAR16 Banner[80];
  const UINT64 Count = FormatText(Banner, u"The preparing update EC version is: %02X.%02X.%02X",
                                  UINTN{0}, UINTN{10}, UINTN{0});
  EXPECT_EQ(std::u16string(Banner), u"The preparing update EC version is: 00.0A.00");
  EXPECT_EQ(Count, 44u);
}

} // namespace
