// SPDX-License-Identifier: BSD-2-Clause-Patent
// The threshold guard on the simulated platform: when it talks to the EC, the
// exact exchange, and when it powers the machine off.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "sim/native_runner.h"
#include "sim/scenario.h"
#include "tests/sanitizer_sample.h"

namespace {

using sim::In;
using sim::Out;

sim::RunRecord RunGuard(const sim::Scenario& s) {
  return sim::RunNative(s);
}

// The exchange as the ACPI EC handshake describes it, for an EC that is never
// busy: each byte behind one status read and one 0xEB, the reply behind one
// status read showing OBF and one 0xEC. Its 15 accesses are spelled out in
// literal bytes on purpose: one reading of the exchange that shares nothing,
// not even a name, with the simulator's protocol home.
sim::PortLog Exchange(uint8_t threshold, uint8_t reading) {
  return {In(0x66, 0x00), Out(0x80, 0xEB), Out(0x66, 0xAA),      //
          In(0x66, 0x00), Out(0x80, 0xEB), Out(0x62, threshold), //
          In(0x66, 0x00), Out(0x80, 0xEB), Out(0x66, 0x80),      //
          In(0x66, 0x00), Out(0x80, 0xEB), Out(0x62, 0x93),      //
          In(0x66, 0x01), Out(0x80, 0xEC), In(0x62, reading)};
}

TEST(Guard, ExactExchangeAndOutcome) {
  struct Case {
    uint8_t threshold, reading;
    bool power_off;
  };
  for (const Case c : {Case{0x80, 0x7F, true}, Case{0x80, 0xFF, false}, Case{0x80, 0x80, false},
                       Case{0x41, 0x40, true}, Case{0, 0, false}, Case{0xFF, 0xFE, true},
                       Case{0xFF, 0xFF, false}, Case{1, 0, true}}) {
    const sim::RunRecord run = RunGuard(sim::GuardScenario("guard", "", 1, c.threshold, c.reading));
    EXPECT_EQ(run.log, Exchange(c.threshold, c.reading)) << int(c.threshold) << int(c.reading);
    EXPECT_EQ(run.reset_system.has_value(), c.power_off);
    if (run.reset_system) {
      EXPECT_EQ(run.reset_system->type, EfiResetShutdown);
      EXPECT_EQ(run.reset_system->status, EFI_SUCCESS);
    }
    EXPECT_EQ(run.entry_status, EFI_SUCCESS);
    EXPECT_TRUE(run.console.empty());
  }
}

// The readings tried against one threshold: every byte in the plain build.
// Under the sanitizers, the two ends of the byte range and the three around
// the threshold: where "below" flips, and where an off-by-one, a signed or a
// swapped compare first gives another answer.
std::vector<int> Readings(int threshold) {
  std::vector<int> readings;
  for (int reading = 0; reading < 256; ++reading) {
    if (!test_sample::kSanitized || reading == 0 || reading == 255 ||
        std::abs(reading - threshold) <= 1) {
      readings.push_back(reading);
    }
  }
  return readings;
}

// Power-off exactly when the reading is below the threshold, unsigned, over
// the whole byte range of both.
TEST(Guard, WholeThresholdReadingSpace) {
  int mismatches = 0;
  for (int threshold = 0; threshold < 256; ++threshold) {
    for (const int reading : Readings(threshold)) {
      const sim::RunRecord run = RunGuard(sim::GuardScenario(
          "sweep", "", 1, static_cast<uint8_t>(threshold), static_cast<uint8_t>(reading)));
      const bool power_off = run.reset_system.has_value();
      if (power_off != (reading < threshold) || run.log.size() != 15) {
        ++mismatches;
        ADD_FAILURE() << "threshold " << threshold << " reading " << reading;
      }
    }
    ASSERT_EQ(mismatches, 0);
  }
}

TEST(Guard, EnableByte) {
  for (int enable : {0, 1, 0x80, 0xFF}) {
    const sim::RunRecord run =
        RunGuard(sim::GuardScenario("enable", "", static_cast<uint8_t>(enable), 0x80, 0x00));
    EXPECT_EQ(run.log.empty(), enable == 0) << enable;
    EXPECT_EQ(run.reset_system.has_value(), enable != 0) << enable;
    EXPECT_EQ(run.entry_status, EFI_SUCCESS);
  }
}

TEST(Guard, SetupThatCannotBeUsed) {
  struct Case {
    const char* what;
    std::optional<size_t> size; // absent: no variable
    std::optional<EFI_STATUS> read_error;
    EFI_STATUS status;
    bool runs;
  };
  constexpr size_t kThreshold = sim::kGuardThresholdByte, kFull = sim::kSetupSize;
  const std::vector<Case> cases = {
      {"absent", std::nullopt, std::nullopt, EFI_NOT_FOUND, false},
      {"empty", 0, std::nullopt, EFI_SUCCESS, false},
      {"ends before the threshold", kThreshold, std::nullopt, EFI_SUCCESS, false},
      {"reaches the threshold", kThreshold + 1, std::nullopt, EFI_SUCCESS, true},
      {"full size", kFull, std::nullopt, EFI_SUCCESS, true},
      {"larger than the buffer", kFull + 1, std::nullopt, EFI_BUFFER_TOO_SMALL, false},
      {"read fails", kFull, EFI_DEVICE_ERROR, EFI_DEVICE_ERROR, false},
      {"access denied", kFull, EFI_ACCESS_DENIED, EFI_ACCESS_DENIED, false},
  };
  for (const Case& c : cases) {
    sim::Scenario s = sim::GuardScenario("setup", "", 1, 0x80, 0x00);
    if (c.size) {
      s.setup = sim::PatternSetup(*c.size);
      if (*c.size > sim::kGuardThresholdByte) {
        (*s.setup)[sim::kGuardEnableByte] = 1;
        (*s.setup)[sim::kGuardThresholdByte] = 0x80;
      }
    } else {
      s.setup.reset();
    }
    s.get_variable_error = c.read_error;
    const sim::RunRecord run = RunGuard(s);
    EXPECT_EQ(run.entry_status, c.status) << c.what;
    EXPECT_EQ(!run.log.empty(), c.runs) << c.what;
    EXPECT_EQ(run.reset_system.has_value(), c.runs) << c.what;
  }
}

// An EC still busy with an earlier byte when the guard loads: the threshold
// command must wait for IBF to clear, or the EC may lose it.
TEST(Guard, WaitsForABusyEcBeforeTheThresholdCommand) {
  for (unsigned busy : {1u, 5u, 40u}) {
    sim::Scenario s = sim::GuardScenario("busy", "", 1, 0x80, 0x7F);
    s.platform.ec.busy_at_start_reads = busy;
    const sim::RunRecord run = RunGuard(s);
    EXPECT_TRUE(run.violations.empty()) << busy << ": " << run.violations.front();
    size_t status_reads_before_command = 0;
    while (run.log[2 * status_reads_before_command] == In(sim::kEcCommandPort, sim::kStatusIbf)) {
      EXPECT_EQ(run.log[2 * status_reads_before_command + 1],
                Out(sim::kPostCodePort, sim::kProgressWaitInput));
      ++status_reads_before_command;
    }
    EXPECT_EQ(status_reads_before_command, busy);
    EXPECT_TRUE(run.reset_system.has_value());
  }
}

} // namespace
