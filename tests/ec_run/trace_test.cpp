// SPDX-License-Identifier: BSD-2-Clause-Patent
// The port trace: its steps and kinds for the port sequence the protocol
// description gives (not the driver's), the CSV as written, and the cost of a
// busy flash on the real updater image.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/expectation.h"
#include "sim/protocol_trace.h"
#include "tests/image_bench/image_files.h"
#include "tools/ec_run/busy_options.h"
#include "tools/ec_run/trace_classifier.h"
#include "tools/ec_run/trace_csv.h"
#include "tools/image_bench/emulated_runner.h"

namespace {

using ec_run::TracedAccess;

constexpr unsigned kBlocks = sim::kEcBlocks;

std::vector<TracedAccess> Classify(const sim::PortLog& log) {
  std::vector<TracedAccess> out;
  ec_run::TraceClassifier classifier([&](const TracedAccess& r) { out.push_back(r); });
  for (size_t i = 0; i < log.size(); ++i) {
    classifier.See(i, 0, log[i]);
  }
  classifier.Finish();
  return out;
}

// The steps in the order they appear, each once per appearance.
std::vector<std::string> Steps(const std::vector<TracedAccess>& trace) {
  std::vector<std::string> steps;
  for (const TracedAccess& r : trace) {
    const std::string name = ec_run::StepName(r.step);
    if (steps.empty() || steps.back() != name) {
      steps.push_back(name);
    }
  }
  return steps;
}

std::vector<std::string> FullUpdateSteps() {
  std::vector<std::string> steps = {"handshake", "identification"};
  for (unsigned b = 0; b < kBlocks; ++b) {
    for (const char* step : {" erase", " blank check", " program", " verify"}) {
      steps.push_back("block " + std::to_string(b) + step);
    }
  }
  steps.insert(steps.end(), {"finish", "restart"});
  return steps;
}

sim::PortLog Accesses(const std::vector<TracedAccess>& trace, const std::string& step) {
  sim::PortLog log;
  for (const TracedAccess& r : trace) {
    if (ec_run::StepName(r.step) == step) {
      log.push_back(r.access);
    }
  }
  return log;
}

const sim::Scenario& Update() {
  return *sim::FindScenario("update");
}

TEST(Trace, NamesEveryStepOfTheProtocolsFullUpdate) {
  const sim::PortLog log = sim::Expect(Update()).trace;
  const std::vector<TracedAccess> trace = Classify(log);
  ASSERT_EQ(trace.size(), log.size());
  for (size_t i = 0; i < trace.size(); ++i) {
    ASSERT_EQ(trace[i].index, i); // in order, none lost
  }
  EXPECT_EQ(Steps(trace), FullUpdateSteps());

  // Block 0's erase: write enable with its opening status poll, the erase,
  // the polls and the write disable that follow, as the protocol spells them.
  sim::ProtocolTrace erase;
  erase.FlashWriteEnable();
  erase.FlashErase(0);
  erase.FlashIdle();
  erase.FlashWriteDisable();
  erase.FlashIdle();
  EXPECT_EQ(sim::FirstDifference(erase.log(), Accesses(trace, "block 0 erase")), "");
  sim::ProtocolTrace handshake;
  handshake.Command(sim::kPtEnter);
  handshake.Reply(sim::kPtReady);
  EXPECT_EQ(sim::FirstDifference(handshake.log(), Accesses(trace, "handshake")), "");
}

TEST(Trace, WritesTheHandshakeAsCsvAndOnlyTheListedBlocks) {
  const std::string path = testing::TempDir() + "trace_test.csv";
  {
    ec_run::TraceCsv csv(path, {0}, 250); // 0.25 us per access
    for (const sim::PortAccess& access : sim::Expect(Update()).trace) {
      csv.See(access, 5'000'000);
    }
    csv.Finish();
  }
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    lines.push_back(line);
  }
  std::remove(path.c_str());
  const std::vector<std::string> first = {
      "index,time_us,dir,port,value,kind,step,detail",
      "0,5000000.000,in,0x66,0x00,status read,handshake,EC status",
      "1,5000000.250,out,0x80,0xEB,progress code,handshake,waiting to write",
      "2,5000000.500,out,0x66,0xDC,command,handshake,enter pass-through",
      "3,5000000.750,in,0x66,0x01,status read,handshake,EC status",
      "4,5000001.000,out,0x80,0xEC,progress code,handshake,waiting for a reply",
      "5,5000001.250,in,0x62,0x33,reply,handshake,ready",
      "6,5000001.500,in,0x66,0x00,status read,identification,EC status",
  };
  ASSERT_GT(lines.size(), first.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + first.size()), first);
  size_t block0 = 0;
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find(",block 1 "), std::string::npos) << line;
    block0 += line.find(",block 0 ") != std::string::npos ? 1 : 0;
  }
  EXPECT_GT(block0, 0u);
  EXPECT_NE(lines.back().find(",restart,"), std::string::npos) << lines.back();
}

// Each extra flash status read is one more 0x04 read-byte command and its
// reply, each behind one EC wait (a status read and a progress code): six
// accesses. A full update erases 128 blocks and programs 512 words in each.
TEST(Trace, BusyFlashCostsSixAccessesPerExtraStatusRead) {
  const std::vector<uint8_t> image = image_test::DeliveredImage(sim::Driver::Updater);
  ASSERT_FALSE(image.empty());
  sim::Scenario busy = Update();
  ec_run::BusySettings settings;
  settings.flash_erase = 2;
  settings.flash_program = 1;
  image_bench::MachineOptions machine;
  machine.instruction_budget = ec_run::ApplyBusy(settings, busy.platform);
  const image_bench::EmulatedRun run = image_bench::RunImage(busy, image, std::move(machine));

  const uint64_t extra_reads = kBlocks * 2 + kBlocks * 512 * 1;
  EXPECT_EQ(run.record.accesses, 4'187'200 + 6 * extra_reads);
  EXPECT_EQ(run.record.accesses, 4'581'952u);
  EXPECT_EQ(run.record.violations, std::vector<std::string>{});
  EXPECT_EQ(run.record.flash_after, busy.platform.ec_image);
  // The busy polls stay inside their steps.
  EXPECT_EQ(Steps(Classify(run.record.log)), FullUpdateSteps());
}

} // namespace
