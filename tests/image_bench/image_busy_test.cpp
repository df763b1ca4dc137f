// SPDX-License-Identifier: BSD-2-Clause-Patent
// Every EC and flash timing knob the host tests run, on the delivered images:
// an EC slow to take bytes, to reply, busy at power-on; a flash slow after
// erase and program, slow to act on write enable and write disable; the
// guard behind a busy EC. Judged by the same checks as every scenario, with
// the port sequence the protocol gives once its waits are stretched as the
// EC and flash stretch them: access for access.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/expectation.h"
#include "tests/image_bench/image_files.h"
#include "tools/image_bench/emulated_runner.h"

namespace {

struct BusyCase {
  const char* name;
  const char* scenario;
  sim::WaitTiming slow;
  bool whole = false; // else the run ends at block 0's verify, having met every kind of wait
};

const BusyCase kCases[] = {
    {"IBF held 64 reads, OBF late by 9", "update", {.ec_input = 64, .ec_output = 9}},
    {"EC busy 500 reads at power-on", "update", {.ec_at_start = 500}},
    {"flash busy 300 after erase, 25 after program",
     "update",
     {.flash_erase = 300, .flash_program = 25}},
    {"flash busy with the latch 30 reads after write enable", "update", {.flash_write_enable = 30}},
    {"flash latch held 50 reads after write disable", "update", {.flash_write_disable = 50}},
    {"whole update, everything busy",
     "update",
     {.ec_input = 2,
      .ec_output = 3,
      .ec_at_start = 4,
      .flash_erase = 40,
      .flash_program = 2,
      .flash_write_enable = 2,
      .flash_write_disable = 3},
     true},
    {"wrong identification, IBF held", "wrong-id", {.ec_input = 7}, true},
    {"guard, IBF held 1000 reads, power-off", "guard-power-off", {.ec_input = 1000}, true},
    {"guard, EC busy at load, OBF late",
     "guard-continue",
     {.ec_output = 300, .ec_at_start = 777},
     true},
};

TEST(ImageBusy, MatchesTheProtocolWithItsWaitsStretched) {
  for (const BusyCase& c : kCases) {
    sim::Scenario s = *sim::FindScenario(c.scenario);
    s.platform.ec.ibf_busy_reads = c.slow.ec_input;
    s.platform.ec.obf_delay_reads = c.slow.ec_output;
    s.platform.ec.busy_at_start_reads = c.slow.ec_at_start;
    s.platform.flash.busy_reads_after_erase = c.slow.flash_erase;
    s.platform.flash.busy_reads_after_program = c.slow.flash_program;
    s.platform.flash.busy_reads_after_write_enable = c.slow.flash_write_enable;
    s.platform.flash.latch_reads_after_write_disable = c.slow.flash_write_disable;
    if (!c.whole) {
      s.platform.flash.bad_program_address = sim::kEcBlockSize - 1;
    }
    s.platform.image = image_bench::ImageSettingsOf(image_bench::DriverImagePath(s.driver));
    sim::Expectation expected = sim::Expect(s);
    const size_t never_busy = expected.trace.size();
    expected.trace = sim::TimedTrace(s);
    // Room for the stretched waits, and a stop for a wait that never ends.
    s.platform.access_limit = expected.trace.size() + image_bench::kDefaultAccessBudget;
    image_bench::MachineOptions machine;
    machine.instruction_budget = image_bench::kDefaultInstructionBudget /
                                 image_bench::kDefaultAccessBudget * s.platform.access_limit;

    const std::vector<uint8_t> image = image_test::DeliveredImage(s.driver);
    ASSERT_FALSE(image.empty());
    const sim::RunRecord run = image_bench::RunImage(s, image, std::move(machine)).record;
    EXPECT_GT(run.log.size(), never_busy) << c.name << ": no wait stretched";
    for (const std::string& fault : sim::Check(s, expected, run)) {
      ADD_FAILURE() << c.name << ": " << fault;
    }
  }
}

} // namespace
