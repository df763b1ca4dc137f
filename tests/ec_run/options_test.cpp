// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec_run's command line: what it accepts and what it refuses with a reason.
#include <gtest/gtest.h>

#include <set>

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

  o = ParseOptions({"--flash-image", "bios.bin", "--ec-busy", "3", "--flash-busy",
                    "erase=40,program=2", "--io-us", "0.25", "--trace", "-", "--trace-blocks",
                    "0,5-7,127"});
  EXPECT_EQ(o.flash_image, "bios.bin");
  EXPECT_EQ(o.busy.ec_input, 3u);
  EXPECT_EQ(o.busy.ec_output, 3u);
  EXPECT_EQ(o.busy.flash_erase, 40u);
  EXPECT_EQ(o.busy.flash_program, 2u);
  EXPECT_EQ(o.io_ns, 250u);
  EXPECT_EQ(o.trace, "-");
  EXPECT_EQ(o.trace_blocks, (std::set<unsigned>{0, 5, 6, 7, 127}));

  o = ParseOptions({"--ec-busy", "output=2,input=0x10", "--flash-busy", "program=100"});
  EXPECT_EQ(o.busy.ec_input, 16u);
  EXPECT_EQ(o.busy.ec_output, 2u);
  EXPECT_EQ(o.busy.flash_erase, 0u);
  EXPECT_EQ(o.busy.flash_program, 100u);
  EXPECT_EQ(o.io_ns, 1000u); // the default: 1 us
  EXPECT_EQ(ParseOptions({"--io-us", "12.5"}).io_ns, 12500u);
  EXPECT_EQ(ParseOptions({"guard", "--threshold", "1", "--register", "2", "--ec-busy", "1",
                          "--trace", "g.csv"})
                .trace,
            "g.csv");

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
      {{"--flash-image", "a", "--ec-image", "b"}, "exclude each other"},
      {{"--flash-image", "a", "--flash-image", "b"}, "--flash-image given twice"},
      {{"--flash-image"}, "--flash-image needs a value"},
      {{"--ec-busy", "101"}, "--ec-busy wants a count of status reads from 0 to 100"},
      {{"--ec-busy", "-1"}, "--ec-busy wants a count"},
      {{"--ec-busy", "3x"}, "--ec-busy wants a count"},
      {{"--ec-busy", ""}, "--ec-busy wants a count"},
      {{"--ec-busy", "input=101"}, "--ec-busy input wants a count of status reads from 0 to 100"},
      {{"--ec-busy", "input=1,input=2"}, "each at most once"},
      {{"--ec-busy", "inputs=1"}, "--ec-busy wants input=N,output=N"},
      {{"--ec-busy", "input=1,"}, "--ec-busy wants input=N,output=N"},
      {{"--ec-busy", "1", "--ec-busy", "2"}, "--ec-busy given twice"},
      {{"--flash-busy", "3"}, "--flash-busy wants erase=N,program=N"},
      {{"--flash-busy", "erase=100001"}, "erase wants a count of status reads from 0 to 100,000"},
      {{"--flash-busy", "program=101"}, "program wants a count of status reads from 0 to 100,"},
      {{"--flash-busy", "erase="}, "erase wants a count"},
      {{"--flash-busy", "erase=99999999999999999999"}, "erase wants a count"},
      {{"--io-us", "0"}, "--io-us wants microseconds"},
      {{"--io-us", "0.0001"}, "--io-us wants"},
      {{"--io-us", "1."}, "--io-us wants"},
      {{"--io-us", ".5"}, "--io-us wants"},
      {{"--io-us", "1e3"}, "--io-us wants"},
      {{"--io-us", "-1"}, "--io-us wants"},
      {{"--io-us", "1000001"}, "--io-us wants"},
      {{"--io-us", "99999999999999999999.5"}, "--io-us wants"},
      {{"--trace-blocks", "0"}, "--trace-blocks needs --trace FILE"},
      {{"--trace", "t", "--trace-blocks", "128"}, "block numbers 0..127"},
      {{"--trace", "t", "--trace-blocks", "3-1"}, "block numbers"},
      {{"--trace", "t", "--trace-blocks", "1,,2"}, "block numbers"},
      {{"--trace", "t", "--trace", "u"}, "--trace given twice"},
      {{"bench", "--trace", "t"}, "--trace belongs to a run, not to bench"},
      {{"bench", "--io-us", "2"}, "--io-us belongs to a run"},
      {{"guard", "--threshold", "1", "--register", "2", "--flash-busy", "erase=1"},
       "--flash-busy belongs to an update run"},
      {{"guard", "--threshold", "1", "--register", "2", "--flash-image", "f"},
       "--flash-image belongs to an update run"},
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
       {"--scenario", "--list",       "--image",    "--ec-image",  "--key",
        "guard",      "--threshold",  "--register", "bench",       "--guard-image",
        "--profile",  "--help",       "131072",     "Exit status", "--flash-image",
        "--ec-busy",  "--flash-busy", "--io-us",    "--trace",     "--trace-blocks"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

} // namespace
