// SPDX-License-Identifier: BSD-2-Clause-Patent
// Every EC and flash timing knob the host tests run, on the delivered images:
// an EC slow to take bytes, to reply, busy at power-on; a flash slow after
// erase and program, slow to act on write enable and write disable; the
// guard behind a busy EC. Judged by the same checks as every scenario, with
// the port sequence the protocol gives once its waits are stretched as the
// EC and flash stretch them: access for access.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/expectation.h"
#include "tests/image_bench/image_files.h"
#include "tools/image_bench/emulated_runner.h"

namespace {

struct BusyCase {
  const char* name;
  const char* scenario;
  std::function<void(sim::PlatformConfig&)> slow;
  bool stop_at_first_verify = true; // keeps the run short; every wait kind is met by then
};

void Ec(sim::PlatformConfig& p, unsigned input, unsigned output, unsigned at_start) {
  p.ec.ibf_busy_reads = input;
  p.ec.obf_delay_reads = output;
  p.ec.busy_at_start_reads = at_start;
}

const BusyCase kCases[] = {
    {"IBF held 64 reads", "update", [](sim::PlatformConfig& p) { Ec(p, 64, 0, 0); }},
    {"OBF late by 64 reads", "update", [](sim::PlatformConfig& p) { Ec(p, 0, 64, 0); }},
    {"EC busy 500 reads at power-on", "update", [](sim::PlatformConfig& p) { Ec(p, 0, 0, 500); }},
    {"flash busy 300 reads after erase", "update",
     [](sim::PlatformConfig& p) { p.flash.busy_reads_after_erase = 300; }},
    {"flash busy 25 reads after program", "update",
     [](sim::PlatformConfig& p) { p.flash.busy_reads_after_program = 25; }},
    {"flash busy with the latch 30 reads after write enable", "update",
     [](sim::PlatformConfig& p) { p.flash.busy_reads_after_write_enable = 30; }},
    {"flash latch held 50 reads after write disable", "update",
     [](sim::PlatformConfig& p) { p.flash.latch_reads_after_write_disable = 50; }},
    {"everything busy", "update",
     [](sim::PlatformConfig& p) {
       Ec(p, 5, 9, 20);
       p.flash.busy_reads_after_erase = 100;
       p.flash.busy_reads_after_program = 7;
       p.flash.busy_reads_after_write_enable = 3;
       p.flash.latch_reads_after_write_disable = 4;
     }},
    {"wrong identification, IBF held", "wrong-id", [](sim::PlatformConfig& p) { Ec(p, 7, 0, 0); },
     false},
    {"whole update, slow latch and busy flash", "update",
     [](sim::PlatformConfig& p) {
       Ec(p, 2, 3, 4);
       p.flash.busy_reads_after_erase = 40;
       p.flash.busy_reads_after_program = 2;
       p.flash.busy_reads_after_write_enable = 2;
       p.flash.latch_reads_after_write_disable = 3;
     },
     false},
    {"guard, IBF held 1000 reads, power-off", "guard-power-off",
     [](sim::PlatformConfig& p) { Ec(p, 1000, 0, 0); }, false},
    {"guard, OBF late by 1000 reads", "guard-continue",
     [](sim::PlatformConfig& p) { Ec(p, 0, 1000, 0); }, false},
    {"guard, EC busy at load", "guard-power-off", [](sim::PlatformConfig& p) { Ec(p, 0, 0, 777); },
     false},
};

TEST(ImageBusy, MatchesTheProtocolWithItsWaitsStretched) {
  for (const BusyCase& c : kCases) {
    sim::Scenario s = *sim::FindScenario(c.scenario);
    s.name = c.name;
    c.slow(s.platform);
    if (c.stop_at_first_verify) {
      s.platform.flash.bad_program_address = sim::kEcBlockSize - 1;
    }
    sim::Expectation expected = sim::Expect(s);
    expected.trace = sim::TimedTrace(s);
    // Room for the stretched waits, and a stop for a wait that never ends.
    s.platform.access_limit = expected.trace.size() + image_bench::kDefaultAccessBudget;
    image_bench::MachineOptions machine;
    machine.instruction_budget = image_bench::kDefaultInstructionBudget /
                                 image_bench::kDefaultAccessBudget * s.platform.access_limit;

    const std::vector<uint8_t> image = image_test::DeliveredImage(s.driver);
    ASSERT_FALSE(image.empty());
    const sim::RunRecord run = image_bench::RunImage(s, image, std::move(machine)).record;
    EXPECT_GT(run.log.size(), sim::Expect(s).trace.size()) << c.name << ": no wait stretched";
    for (const std::string& fault : sim::Check(s, expected, run)) {
      ADD_FAILURE() << c.name << ": " << fault;
    }
  }
}

} // namespace
