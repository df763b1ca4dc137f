// SPDX-License-Identifier: BSD-2-Clause-Patent
// How ec_run writes numbers, times and console rows.
#include <gtest/gtest.h>

#include "tools/ec_run/report_text.h"

namespace {

TEST(ReportText, GroupsThousands) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {4187200, "4,187,200"},
      {18446744073709551615ull, "18,446,744,073,709,551,615"}};
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(ec_run::Grouped(value), text);
  }
}

TEST(ReportText, WritesVirtualTimeInSeconds) {
  EXPECT_EQ(ec_run::Seconds(0), "0.000 s");
  EXPECT_EQ(ec_run::Seconds(8000000), "8.000 s");
  EXPECT_EQ(ec_run::Seconds(12187200), "12.187 s");
}

TEST(ReportText, EncodesConsoleTextAsUtf8) {
  EXPECT_EQ(ec_run::Utf8(u"EC 00.0A.00"), "EC 00.0A.00");
  EXPECT_EQ(ec_run::Utf8(u"\u00E9\u20AC"), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(ec_run::Utf8(std::u16string(1, char16_t{0xD800})), "?");
}

// 0x4E is yellow (bright brown) on red: ANSI bright yellow 93 on red 41.
TEST(ReportText, ShowsMessagesInTheirColours) {
  const sim::ConsoleOutput message{15, 0, 0x4E, u"EC update failed! System would restart!",
                                   8000000};
  EXPECT_EQ(ec_run::ConsoleLine(message, false),
            "  8.000 s  row 15  EC update failed! System would restart!");
  EXPECT_EQ(ec_run::ConsoleLine(message, true),
            "  8.000 s  row 15  \x1b[93;41mEC update failed! System would restart!\x1b[0m");
  const sim::ConsoleOutput plain{3, 2, 0x07, u"x", 0}; // light grey on black, column 2
  EXPECT_EQ(ec_run::ConsoleLine(plain, true), "  0.000 s  row  3  \x1b[37;40m  x\x1b[0m");
}

} // namespace
