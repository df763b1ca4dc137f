// SPDX-License-Identifier: BSD-2-Clause-Patent
// The updater's flow on the simulated platform: port budget, block addresses,
// every request byte, Setup sizes, keys, entry and notification behaviour.
#include <gtest/gtest.h>

#include <map>

#include "common/setup_data.h"
#include "sim/native_firmware.h"
#include "sim/native_runner.h"
#include "sim/scenario.h"
#include "sim/traffic_decoder.h"
#include "updater/updater.h"

namespace {

sim::RunRecord RunScenario(const sim::Scenario& s) {
  return sim::RunNative(s);
}

// The accesses of a full update with an EC and flash that are never busy, as
// the simulator derives them from the protocol description.
uint64_t FullUpdateAccesses() {
  static const uint64_t accesses = sim::FullUpdateTrace().size();
  return accesses;
}

TEST(UpdateFlow, FullUpdateMakesExactlyTheRequiredPortAccesses) {
  const sim::RunRecord run = RunScenario(*sim::FindScenario("update"));
  EXPECT_EQ(run.accesses, FullUpdateAccesses());
  EXPECT_EQ(run.log.size(), FullUpdateAccesses());
}

// The flash address of each erase, as the host's traffic decoder reads it.
std::vector<uint32_t> EraseAddresses(const sim::PortLog& log) {
  std::vector<uint32_t> addresses;
  for (const sim::FlashTransaction& t : sim::FlashTransactions(log)) {
    if (t.opcode == sim::kFlashErase1K && t.HasAddress()) {
      addresses.push_back(t.Address());
    }
  }
  return addresses;
}

TEST(UpdateFlow, ErasesEveryBlockOnceInAscendingOrder) {
  const std::vector<uint32_t> erased =
      EraseAddresses(RunScenario(*sim::FindScenario("update")).log);
  ASSERT_EQ(erased.size(), sim::kEcBlocks);
  EXPECT_EQ(erased[0], 0x000000u);
  EXPECT_EQ(erased[64], 0x010000u);
  EXPECT_EQ(erased[127], 0x01FC00u);
  for (size_t i = 0; i < erased.size(); ++i) {
    EXPECT_EQ(erased[i], i * sim::kEcBlockSize) << "block " << i;
  }
}

TEST(UpdateFlow, RandomImagesLandExactly) {
  for (uint32_t seed : {1u, 77u, 4096u}) {
    sim::Scenario s = *sim::FindScenario("update");
    s.platform.ec_image = sim::RandomImage(seed);
    const sim::RunRecord run = RunScenario(s);
    EXPECT_EQ(run.flash_after, s.platform.ec_image) << "seed " << seed;
    EXPECT_EQ(run.virtual_us, 8000000u);
    EXPECT_TRUE(run.violations.empty());
  }
}

// A slow EC and flash change how long each wait spins, never what is written.
TEST(UpdateFlow, BusyEcAndFlashStillProgramEveryByte) {
  struct Case {
    unsigned ibf, obf, erase_busy, program_busy;
  };
  for (const Case c : {Case{1, 0, 0, 0}, Case{0, 2, 0, 0}, Case{3, 3, 7, 2}}) {
    sim::Scenario s = *sim::FindScenario("update");
    s.platform.ec.ibf_busy_reads = c.ibf;
    s.platform.ec.obf_delay_reads = c.obf;
    s.platform.flash.busy_reads_after_erase = c.erase_busy;
    s.platform.flash.busy_reads_after_program = c.program_busy;
    const sim::RunRecord run = RunScenario(s);
    EXPECT_EQ(run.flash_after, s.platform.ec_image);
    EXPECT_TRUE(run.violations.empty()) << run.violations.front();
    EXPECT_GT(run.accesses, FullUpdateAccesses());
    EXPECT_TRUE(run.reset_port_written);
  }
}

// Only an exact 1 requests an update; every non-zero value is cleared once
// the flow has run, and the flow only runs for 1.
TEST(UpdateFlow, EveryRequestByteValue) {
  for (int value = 0; value < 256; ++value) {
    sim::Scenario s = sim::UpdateScenario("request", "", static_cast<uint8_t>(value));
    s.keys = {{0, u'q'}}; // keep each run short: skip at the first poll
    const sim::RunRecord run = RunScenario(s);
    ASSERT_TRUE(run.setup_after.has_value());
    std::vector<uint8_t> kept = *s.setup;
    if (value == sim::kUpdateRequested) {
      kept[sim::kRequestByte] = 0;
      EXPECT_EQ(run.console.size(), 3u);
    } else {
      EXPECT_TRUE(run.console.empty()) << value;
      EXPECT_TRUE(run.log.empty()) << value;
    }
    EXPECT_EQ(run.setup_after->data, kept) << value;
  }
}

TEST(UpdateFlow, SetupSizesAroundTheRequestByte) {
  struct Case {
    size_t size;
    bool runs;
  };
  constexpr size_t kRequest = sim::kRequestByte, kFull = sim::kSetupSize;
  for (const Case c : {Case{0, false}, Case{kRequest, false}, Case{kRequest + 1, true},
                       Case{kRequest + 5, true}, Case{kFull, true}, Case{kFull + 1, false}}) {
    sim::Scenario s = sim::UpdateScenario("size", "");
    s.setup = sim::PatternSetup(c.size);
    if (c.size > sim::kRequestByte) {
      (*s.setup)[sim::kRequestByte] = sim::kUpdateRequested;
    }
    s.keys = {{0, u'q'}};
    const sim::RunRecord run = RunScenario(s);
    EXPECT_EQ(!run.console.empty(), c.runs) << c.size;
    ASSERT_TRUE(run.setup_after.has_value()) << c.size;
    std::vector<uint8_t> kept = *s.setup;
    if (c.runs) {
      kept[sim::kRequestByte] = 0;
    }
    EXPECT_EQ(run.setup_after->data, kept) << c.size;
  }
}

TEST(UpdateFlow, UnreadableSetupIsNoRequest) {
  for (EFI_STATUS error : {EFI_NOT_FOUND, EFI_DEVICE_ERROR, EFI_SECURITY_VIOLATION}) {
    sim::Scenario s = sim::UpdateScenario("unreadable", "");
    s.get_variable_error = error;
    const sim::RunRecord run = RunScenario(s);
    EXPECT_TRUE(run.console.empty());
    EXPECT_TRUE(run.log.empty());
    EXPECT_EQ(run.open_events, 0u);
  }
}

// The poll at which the prompt answers, from the keys queued and their times.
TEST(UpdateFlow, KeyPolling) {
  struct Case {
    const char* what;
    std::vector<sim::KeyStroke> keys;
    uint64_t skipped_at_us; // 0: no skip
  };
  const std::vector<Case> cases = {
      {"q at first poll", {{0, u'q'}}, 100000},
      {"Q at 50th poll", {{5000000, u'Q'}}, 5000000},
      {"q one poll too late", {{5000001, u'q'}}, 0},
      {"scan code ignored", {{0, u'q', 0x17}}, 100000},
      {"other keys first, one per poll", {{0, u'x'}, {0, u'y'}, {0, u'Q'}}, 300000},
      {"51 other keys hide a q", std::vector<sim::KeyStroke>(50, {0, u'a'}), 0},
      {"NUL character is not q", {{0, 0}}, 0},
  };
  for (const Case& c : cases) {
    sim::Scenario s = sim::UpdateScenario("keys", "");
    s.keys = c.keys;
    if (std::string(c.what) == "51 other keys hide a q") {
      s.keys.push_back({0, u'q'});
    }
    s.platform.ec.replies_before_ready = -1; // a proceed ends quickly with init failure
    const sim::RunRecord run = RunScenario(s);
    if (c.skipped_at_us != 0) {
      ASSERT_EQ(run.console.size(), 3u) << c.what;
      EXPECT_EQ(run.console.back().row, 13u) << c.what;
      EXPECT_EQ(run.virtual_us, c.skipped_at_us + 2000000) << c.what;
      EXPECT_FALSE(run.reset_port_written) << c.what;
      ASSERT_EQ(run.log.size(), 3u) << c.what; // only the leave command
      EXPECT_EQ(run.log.back(), sim::Out(sim::kEcCommandPort, sim::kPtLeave)) << c.what;
    } else {
      EXPECT_EQ(run.console.back().row, 15u) << c.what;
      EXPECT_TRUE(run.reset_port_written) << c.what;
    }
  }
}

TEST(UpdateFlow, CreateEventFailureLeavesTheDriverInert) {
  sim::NativeMachine machine;
  machine.firmware().create_event_error = EFI_OUT_OF_RESOURCES;
  std::vector<uint8_t> setup = sim::PatternSetup();
  setup[sim::kRequestByte] = sim::kUpdateRequested;
  machine.firmware().PutVariable(u"Setup", SetupVariableGuid, {7, setup});
  EXPECT_EQ(machine.LoadUpdater(), EFI_SUCCESS);
  machine.InstallTrigger();
  EXPECT_TRUE(machine.firmware().console().empty());
  EXPECT_TRUE(machine.platform().log().empty());
  for (const std::string& call : machine.firmware().calls()) {
    EXPECT_EQ(call.find("RegisterProtocolNotify"), std::string::npos);
  }
}

TEST(UpdateFlow, RegistersForTheTriggerAtCallbackPriority) {
  sim::NativeMachine machine;
  EXPECT_EQ(machine.LoadUpdater(), EFI_SUCCESS);
  const std::vector<std::string> expected = {
      "CreateEvent(type=512, tpl=8)",
      "RegisterProtocolNotify(FEDF8E0C-E147-11E3-9903-B8E8562CBAFA)"};
  EXPECT_EQ(machine.firmware().calls(), expected);
  EXPECT_TRUE(machine.platform().log().empty());
}

// Entered again with another table, the updater keeps the table and services
// it borrowed at its first entry, which its registered flow goes on to use.
TEST(UpdateFlow, SecondEntryKeepsTheFirstTable) {
  sim::NativeMachine machine;
  ASSERT_EQ(machine.LoadUpdater(), EFI_SUCCESS);
  sim::NativeFirmware second(machine.firmware());
  ASSERT_NE(second.system_table(), machine.system_table());
  EXPECT_EQ(UpdaterEntry(nullptr, second.system_table()), EFI_SUCCESS);
  EXPECT_EQ(updater::SystemTable, machine.system_table());
  EXPECT_EQ(updater::BootServices, machine.system_table()->BootServices);
  EXPECT_EQ(updater::RuntimeServices, machine.system_table()->RuntimeServices);
}

// Only the first notification runs the flow: the event closes itself.
TEST(UpdateFlow, SecondTriggerDoesNothing) {
  sim::NativeMachine machine;
  machine.LoadUpdater();
  machine.InstallTrigger();
  const size_t calls = machine.firmware().calls().size();
  machine.InstallTrigger();
  EXPECT_EQ(machine.firmware().calls().size(), calls);
  EXPECT_EQ(machine.firmware().open_events(), 0u);
}

} // namespace
