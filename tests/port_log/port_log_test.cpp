// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec_port_log's parts: a log split into boots (resets, power cuts), refused
// when malformed, summarised, compared with the protocol's sequence (never
// busy, and busy against what the host-built updater makes on a busy EC and
// flash), written as the trace CSV, and where a block's erase starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/expectation.h"
#include "sim/native_runner.h"
#include "tests/port_log/port_log_writer.h"
#include "tools/ec_run/run_command.h"
#include "tools/ec_run/trace_csv.h"
#include "tools/ec_run/update_oracle.h"
#include "tools/port_log/compare.h"
#include "tools/port_log/port_log_file.h"
#include "tools/port_log/summary.h"
#include "tools/qemu_rig/port_log_record.h"

namespace {

using port_log::Boot;
using port_log_test::LogWriter;
namespace fs = std::filesystem;

const sim::PortLog& Update() {
  static const sim::PortLog update = sim::FullUpdateTrace();
  return update;
}

std::string TempPath(const std::string& name) {
  return (fs::temp_directory_path() / ("port_log_test_" + std::to_string(::getpid()) + name))
      .string();
}

// A log written as letters: 'r' a reset, 'p' a power cut, 'a' an access.
LogWriter Written(const std::string& events) {
  LogWriter log;
  for (const char e : events) {
    e == 'a' ? log.Access(sim::In(sim::kEcCommandPort, 0)) : log.Record(0, e, 0);
  }
  return log;
}

// Each boot as its access count, R (opened by a reset) or P (at power-on),
// * for the first after power-on, and c when a power cut ended it.
std::string Shapes(const std::vector<Boot>& boots) {
  std::string shapes;
  for (const Boot& b : boots) {
    shapes += (shapes.empty() ? "" : " ") + std::to_string(b.accesses.size()) +
              (b.reset_ns ? "R" : "P") + (b.cold_start ? "*" : "") + (b.power_cut ? "c" : "");
  }
  return shapes;
}

TEST(PortLogFile, SplitsBootsAtResetsAndPowerCuts) {
  const struct {
    const char* events;
    const char* boots;
  } cases[] = {
      {"raaa", "3R*"},          // the reset at machine creation opens boot 1
      {"rrraaara", "3R* 1R"},   // resets with nothing between are one
      {"aaaraaa", "3P* 3R"},    // no reset before the first access
      {"raaapaaa", "3R*c 3P*"}, // a power cut ends a boot, the next access opens one
      {"raaapra", "3R*c 1R*"},  // a power cut, then the next machine's creation reset
      {"raaar", "3R* 0R"},      // the restart's reset opens an empty boot
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shapes(port_log::SplitBoots(Written(c.events).bytes())), c.boots) << c.events;
  }
}

TEST(PortLogFile, RefusesWhatIsNotARecord) {
  std::vector<uint8_t> cut_short = Written("ra").bytes();
  cut_short.pop_back();
  LogWriter unknown_kind = Written("a");
  unknown_kind.Record(0x66, 'x', 0);
  LogWriter tail = Written("aa");
  tail.Record(0x66, 'i', 0, 1);
  const struct {
    std::vector<uint8_t> bytes;
    const char* message;
  } cases[] = {
      {cut_short, "whole 16-byte records, not 31 bytes"},
      {unknown_kind.bytes(), "record 1: kind 120 is none of"},
      {tail.bytes(), "record 2: the last four bytes are not zero"},
  };
  for (const auto& c : cases) {
    try {
      port_log::SplitBoots(c.bytes);
      ADD_FAILURE() << c.message << ": accepted";
    } catch (const ec_run::InputError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(PortLogSummary, ListsTheBytesOfShortBootsOnly) {
  LogWriter log;
  log.Reset();
  log.Access(sim::Out(sim::kEcCommandPort, sim::kGuardThreshold));
  log.Access(sim::Out(sim::kEcDataPort, 0x80));
  log.Access(sim::In(sim::kEcDataPort, 0x7F));
  log.PowerCut();
  log.Reset();
  log.Accesses(Update());
  const std::string json = port_log::SummaryJson(port_log::SplitBoots(log.bytes()));
  EXPECT_NE(json.find("{\"boot\": 1, \"accesses\": 3, \"opened_by\": \"reset\", \"cold_start\": "
                      "true, \"power_cut\": true, \"last_access_us\": 3, \"ports\": {\"0x62\": "
                      "{\"written\": \"80\", "
                      "\"read\": \"7f\"}, \"0x66\": {\"written\": \"aa\", \"read\": \"\"}}}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"boot\": 2, \"accesses\": 4187200, \"opened_by\": \"reset\", "
                      "\"cold_start\": true, \"power_cut\": false, \"last_access_us\": 4187200}"),
            std::string::npos)
      << json;
}

Boot OneBoot(const sim::PortLog& accesses) {
  LogWriter log;
  log.Reset();
  log.Accesses(accesses);
  return port_log::SplitBoots(log.bytes()).at(0);
}

TEST(PortLogCompare, NeverBusyIsAccessForAccess) {
  const ec_run::Oracle oracle = ec_run::OracleFor(std::nullopt, std::nullopt);
  EXPECT_EQ(port_log::Compare(OneBoot(Update()), oracle).line, "equal: 4187200 accesses");

  const uint64_t block_3 = ec_run::BlockStart(3);
  const struct {
    uint64_t index;
    const char* got;
    const char* expected;
    const char* step;
  } changes[] = {
      {0, "in 0x66 0x01", "in 0x66 0x00", "handshake"},
      {block_3, "in 0x66 0x01", "in 0x66 0x00", "block 3 erase"},
      {Update().size() - 1, "out 0xCF9 0x0F", "out 0xCF9 0x0E", "restart"},
  };
  // The update is written once; each change flips a value in a copy of the
  // bytes (record 0 is the reset), where rewriting four million records would
  // cost more than the compare itself.
  LogWriter written;
  written.Reset();
  written.Accesses(Update());
  for (const auto& c : changes) {
    std::vector<uint8_t> bytes = written.bytes();
    bytes[(c.index + 1) * PORT_LOG_RECORD_SIZE + PORT_LOG_VALUE_AT] ^= 0x01;
    const port_log::Comparison result =
        port_log::Compare(port_log::SplitBoots(bytes).at(0), oracle);
    EXPECT_FALSE(result.equal);
    EXPECT_EQ(result.line, "differs at access " + std::to_string(c.index) + ": got " + c.got +
                               ", expected " + c.expected + " (" + c.step + ")");
  }
  sim::PortLog shorter(Update().begin(), Update().end() - 1);
  EXPECT_EQ(port_log::Compare(OneBoot(shorter), oracle).line,
            "differs at access 4187199: got (end), expected out 0xCF9 0x0E (restart)");
  sim::PortLog longer = Update();
  longer.push_back(sim::In(sim::kEcCommandPort, 0));
  EXPECT_EQ(port_log::Compare(OneBoot(longer), oracle).line,
            "differs at access 4187200: got in 0x66 0x00, expected (end) (after the end)");
}

// The busy run is the host-built updater's: the prediction is the protocol's.
TEST(PortLogCompare, BusyIsTheCountTheProtocolPredicts) {
  const std::string settings = TempPath("busy.txt");
  std::ofstream(settings) << "ec_busy_input = 2\nec_busy_output = 1\nec_busy_at_start = 9\n"
                             "flash_busy_erase = 3\nflash_busy_program = 1\n"
                             "flash_busy_write_enable = 1\nflash_latch_write_disable = 2\n";
  const ec_run::Oracle oracle = ec_run::OracleFor(settings, std::nullopt);
  sim::Scenario s = *sim::FindScenario("update");
  s.platform.ec = oracle.scenario.platform.ec;
  s.platform.flash = oracle.scenario.platform.flash;
  const sim::RunRecord run = sim::RunNative(s);
  ASSERT_TRUE(run.violations.empty()) << run.violations.front();

  const port_log::Comparison same = port_log::Compare(OneBoot(run.log), oracle);
  EXPECT_TRUE(same.equal) << same.line;
  EXPECT_EQ(same.line, "equal: " + std::to_string(run.log.size()) + " accesses, as the protocol " +
                           "predicts " + std::to_string(run.log.size()) +
                           " accesses for these settings, outside the waits in order");

  // After the restart's reset the EC is not starting up: no power-on busy reads.
  LogWriter two_boots;
  two_boots.Reset();
  two_boots.Accesses(run.log);
  two_boots.Reset();
  two_boots.Accesses(sim::PortLog(run.log.begin() + 2 * 9, run.log.end()));
  EXPECT_TRUE(port_log::Compare(port_log::SplitBoots(two_boots.bytes()).at(1), oracle).equal);

  sim::PortLog one_wait_less = run.log;
  one_wait_less.erase(one_wait_less.begin(), one_wait_less.begin() + 2);
  EXPECT_EQ(port_log::Compare(OneBoot(one_wait_less), oracle).line,
            "differs in count: got " + std::to_string(run.log.size() - 2) +
                " accesses, the protocol predicts " + std::to_string(run.log.size()) +
                " accesses for these settings (the accesses outside the waits are equal)");

  sim::PortLog wrong_byte = run.log;
  const size_t dc = 2 * (9 + 1); // the IBF held at power-on, then the wait's last read
  ASSERT_EQ(wrong_byte[dc], sim::Out(sim::kEcCommandPort, sim::kPtEnter));
  wrong_byte[dc].value = 0xDD;
  const std::string line = port_log::Compare(OneBoot(wrong_byte), oracle).line;
  EXPECT_EQ(line.rfind("differs at access 20: got out 0x66 0xDD, expected out 0x66 0xDC "
                       "(handshake); the protocol's access 20 of ",
                       0),
            0u)
      << line;
  fs::remove(settings);
}

TEST(PortLogCompare, RefusesSettingsThatChangeTheUpdate) {
  const std::string settings = TempPath("fault.txt");
  for (const char* knob : {"stuck_erase_address = 0x10", "flash_id = 1 2 3 4",
                           "replies_before_ready = 2", "flash_busy_forever = 1"}) {
    std::ofstream(settings) << knob << "\n";
    EXPECT_THROW(ec_run::OracleFor(settings, std::nullopt), ec_run::InputError) << knob;
  }
  fs::remove(settings);
}

// Each block's erase starts at the status poll before its write enable, one
// block's length after the last; the access before it ends the verify.
TEST(PortLogBlocks, EraseStartsWhereTheClassifierSaysSo) {
  const uint64_t first = ec_run::BlockStart(0);
  const uint64_t length = ec_run::BlockStart(1) - first;
  const ec_run::Oracle oracle = ec_run::OracleFor(std::nullopt, std::nullopt);
  for (unsigned block : {1u, 64u, 127u}) {
    const uint64_t start = ec_run::BlockStart(block);
    EXPECT_EQ(start, first + block * length) << block;
    EXPECT_EQ(Update()[start], sim::In(sim::kEcCommandPort, 0x00)) << block;
    EXPECT_EQ(ec_run::StepAt(oracle, start), "block " + std::to_string(block) + " erase");
    EXPECT_EQ(ec_run::StepAt(oracle, start - 1), "block " + std::to_string(block - 1) + " verify");
  }
}

TEST(PortLogCsv, TimesCountFromTheReset) {
  const std::string path = TempPath("trace.csv");
  const Boot boot = OneBoot(sim::PortLog(Update().begin(), Update().begin() + 12));
  ec_run::TraceCsv csv(path, {}, 0);
  for (size_t i = 0; i < boot.accesses.size(); ++i) {
    csv.SeeAt(boot.accesses[i], boot.times_ns[i] - boot.origin_ns());
  }
  csv.Finish();
  std::ifstream file(path);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(text.rfind("index,time_us,dir,port,value,kind,step,detail\n"
                       "0,1.000,in,0x66,0x00,status read,handshake,EC status\n"
                       "1,2.000,out,0x80,0xEB,progress code,handshake,waiting to write\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("\n11,12.000,out,0x66,0x02,command,identification,send opcode\n"),
            std::string::npos)
      << text;
  fs::remove(path);
}

} // namespace
