// ec_run's command line: what it accepts and what it refuses with a reason.
#include <gtest/gtest.h>

#include "tools/ec_run/options.h"

namespace {

using ec_run::Command;
using ec_run::ParseOptions;
using ec_run::UsageError;

using Args = std::vector<std::string>;

TEST(Options, AcceptsEachCommandAndItsSettings) {
  ec_run::Options o = ParseOptions({});
  EXPECT_EQ(o.command, Command::Run);
  EXPECT_EQ(o.scenario, "update");
  EXPECT_FALSE(o.image || o.ec_image || o.guard_image);

  o = ParseOptions({"--scenario", "verify-fault", "--image", "a.efi", "--ec-image", "ec.bin",
                    "--key", "q@2.5", "--key", "a@0.1"});
  EXPECT_EQ(o.scenario, "verify-fault");
  EXPECT_EQ(o.image, "a.efi");
  EXPECT_EQ(o.ec_image, "ec.bin");
  ASSERT_EQ(o.keys.size(), 2u);
  EXPECT_EQ(o.keys[0].unicode, u'a'); // typed first
  EXPECT_EQ(o.keys[0].at_us, 100000u);
  EXPECT_EQ(o.keys[1].unicode, u'q');
  EXPECT_EQ(o.keys[1].at_us, 2500000u);

  o = ParseOptions({"guard", "--threshold", "0x80", "--register", "127"});
  EXPECT_EQ(o.command, Command::Guard);
  EXPECT_EQ(o.threshold, 0x80);
  EXPECT_EQ(o.reading, 127);

  o = ParseOptions({"bench", "--guard-image", "g.efi", "--profile"});
  EXPECT_EQ(o.command, Command::Bench);
  EXPECT_EQ(o.guard_image, "g.efi");
  EXPECT_TRUE(o.profile);

  EXPECT_EQ(ParseOptions({"--list"}).command, Command::List);
  EXPECT_EQ(ParseOptions({"--scenario", "x", "--help"}).command, Command::Help);
}

TEST(Options, RefusesWithAReason) {
  const struct {
    Args args;
    const char* reason;
  } cases[] = {
      {{"--frobnicate"}, "unknown argument '--frobnicate'"},
      {{"--scenario"}, "--scenario needs a value"},
      {{"--key"}, "--key needs a value"},
      {{"guard"}, "guard needs --threshold N and --register N"},
      {{"guard", "--threshold", "1"}, "guard needs"},
      {{"guard", "--threshold", "256", "--register", "0"}, "--threshold wants a byte"},
      {{"guard", "--threshold", "0x100", "--register", "0"}, "wants a byte"},
      {{"guard", "--threshold", "-1", "--register", "0"}, "wants a byte"},
      {{"guard", "--threshold", "12a", "--register", "0"}, "wants a byte"},
      {{"guard", "--threshold", "", "--register", "0"}, "wants a byte"},
      {{"--threshold", "5"}, "belong to the guard command"},
      {{"guard", "bench"}, "cannot be combined"},
      {{"--key", "q"}, "CHAR@SECONDS"},
      {{"--key", "q@"}, "CHAR@SECONDS"},
      {{"--key", "@2"}, "CHAR@SECONDS"},
      {{"--key", "qq@2"}, "CHAR@SECONDS"},
      {{"--key", "q@-1"}, "CHAR@SECONDS"},
      {{"--key", "q@2s"}, "CHAR@SECONDS"},
      {{"--key", "q@nan"}, "CHAR@SECONDS"},
      {{"--key", "q@99999"}, "CHAR@SECONDS"},
  };
  for (const auto& c : cases) {
    try {
      ParseOptions(c.args);
      ADD_FAILURE() << "accepted: " << testing::PrintToString(c.args);
    } catch (const UsageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos)
          << testing::PrintToString(c.args) << ": " << e.what();
    }
  }
}

TEST(Options, HelpDocumentsEveryOption) {
  const std::string help = ec_run::UsageText();
  for (const char* word :
       {"--scenario", "--list", "--image", "--ec-image", "--key", "guard", "--threshold",
        "--register", "bench", "--guard-image", "--profile", "--help", "131072", "Exit status"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

} // namespace
