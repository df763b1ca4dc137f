// SPDX-License-Identifier: BSD-2-Clause-Patent
// The protocol's sequence with the waits stretched (sim::TimedTrace) against
// what the host-built drivers make on a busy EC and flash: access for access,
// status values included, for every kind of wait. Port-log comparison of busy
// runs rests on this count.
#include <gtest/gtest.h>

#include <string>

#include "sim/expectation.h"
#include "sim/native_runner.h"
#include "sim/scenario.h"

namespace {

struct TimingCase {
  const char* name;
  sim::WaitTiming timing;
  bool whole_update; // else the run ends at block 0's verify
};

const TimingCase kCases[] = {
    {"never busy", {}, false},
    {"IBF held 3 reads", {.ec_input = 3}, false},
    {"OBF late by 2 reads", {.ec_output = 2}, false},
    {"IBF outlasts the reply's wait", {.ec_input = 7, .ec_output = 2}, false},
    {"reply's wait outlasts IBF", {.ec_input = 2, .ec_output = 5}, false},
    {"EC busy at power-on", {.ec_at_start = 40}, false},
    {"flash busy after erase", {.flash_erase = 30}, false},
    {"flash busy after program", {.flash_program = 3}, false},
    {"busy with the latch after write enable", {.flash_write_enable = 9}, false},
    {"latch held after write disable", {.flash_write_disable = 11}, false},
    {"everything at once",
     {.ec_input = 4,
      .ec_output = 3,
      .ec_at_start = 6,
      .flash_erase = 5,
      .flash_program = 2,
      .flash_write_enable = 3,
      .flash_write_disable = 2},
     false},
    {"whole update, flash busy", {.flash_erase = 2, .flash_program = 1}, true},
};

sim::Scenario Busy(const TimingCase& c) {
  sim::Scenario s = *sim::FindScenario("update");
  s.platform.ec.ibf_busy_reads = c.timing.ec_input;
  s.platform.ec.obf_delay_reads = c.timing.ec_output;
  s.platform.ec.busy_at_start_reads = c.timing.ec_at_start;
  s.platform.flash.busy_reads_after_erase = c.timing.flash_erase;
  s.platform.flash.busy_reads_after_program = c.timing.flash_program;
  s.platform.flash.busy_reads_after_write_enable = c.timing.flash_write_enable;
  s.platform.flash.latch_reads_after_write_disable = c.timing.flash_write_disable;
  if (!c.whole_update) {
    s.platform.flash.bad_program_address = sim::kEcBlockSize - 1;
  }
  return s;
}

TEST(TimedTrace, EqualsTheBusyRunAccessForAccess) {
  for (const TimingCase& c : kCases) {
    const sim::Scenario s = Busy(c);
    const sim::RunRecord run = sim::RunNative(s);
    const sim::PortLog expected = sim::TimedTrace(s);
    EXPECT_TRUE(run.violations.empty()) << c.name << ": " << run.violations.front();
    EXPECT_EQ(sim::FirstDifference(expected, run.log), "") << c.name;
  }
}

// Six accesses for each extra flash status read: the figure ./run prints.
TEST(TimedTrace, BusyFlashCountsAsTheSummaryStatesIt) {
  uint64_t accesses = 0;
  sim::StreamTrace(*sim::FindScenario("update"), {.flash_erase = 2, .flash_program = 1},
                   [&](const sim::PortAccess&) { ++accesses; });
  EXPECT_EQ(accesses, sim::FullUpdateTrace().size() + 6 * (128 * 2 + 65'536 * 1));
}

} // namespace
