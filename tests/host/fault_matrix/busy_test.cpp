// SPDX-License-Identifier: BSD-2-Clause-Patent
// Busy bits held for many reads at every kind of wait. The port sequence is
// then judged by the form of every wait and by the accesses between waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/host/fault_matrix/fault_matrix.h"

namespace fault_matrix {
namespace {

using fault_matrix::PrintTo; // found by gtest through the parameter types
using sim::PortAccess;

struct BusyCase {
  std::string name;
  std::function<void(sim::Scenario&)> arrange;
  unsigned ec_wait_reads;    // the longest EC wait: reads until ready, 0: not checked
  unsigned flash_poll_reads; // the longest flash status poll, 0: not checked
};

class BusyWaits : public testing::TestWithParam<BusyCase> {};

TEST_P(BusyWaits, SameResultWhateverTheWait) {
  const BusyCase& b = GetParam();
  sim::Scenario s = Update(b.name);
  b.arrange(s);
  const Case c = RunCase(s, Timing::Busy);
  if (b.ec_wait_reads != 0) {
    unsigned longest = 0;
    unsigned run = 0;
    for (const PortAccess& a : c.run.log) {
      run = IsStatusRead(a) ? run + 1 : IsProgress(a) ? run : 0;
      longest = std::max(longest, run);
    }
    EXPECT_EQ(longest, b.ec_wait_reads) << b.name;
  }
  if (b.flash_poll_reads != 0) {
    size_t longest = 0;
    for (const FlashTransaction& t : FlashTransactions(c.run.log)) {
      if (t.opcode == sim::kFlashReadStatus) {
        longest = std::max(longest, t.read.size());
      }
    }
    EXPECT_EQ(longest, b.flash_poll_reads) << b.name;
  }
}

// Most cases end at the verify of block 0, which meets every kind of wait
// (IBF, OBF, after erase, after each program) in a short run.
std::function<void(sim::Scenario&)> Busy(unsigned ibf, unsigned obf, unsigned at_start,
                                         unsigned erase, unsigned program,
                                         std::optional<Outcome> outcome = Outcome::VerifyFails) {
  return [=](sim::Scenario& s) {
    s.platform.ec.ibf_busy_reads = ibf;
    s.platform.ec.obf_delay_reads = obf;
    s.platform.ec.busy_at_start_reads = at_start;
    s.platform.flash.busy_reads_after_erase = erase;
    s.platform.flash.busy_reads_after_program = program;
    if (outcome == Outcome::VerifyFails) {
      s.platform.flash.bad_program_address = kBlock - 1;
    } else if (outcome) {
      Arrange(s, *outcome);
    }
  };
}

// A flash slow to act on the latch commands: after a write enable busy shows
// with the latch for some reads, after a write disable the latch lingers. A
// poll that looks at the wrong bit ends early and the flash status it last
// read differs from the never-busy sequence's.
std::function<void(sim::Scenario&)> SlowLatch(unsigned busy_after_enable,
                                              unsigned latch_after_disable) {
  return [=](sim::Scenario& s) {
    s.platform.flash.busy_reads_after_write_enable = busy_after_enable;
    s.platform.flash.latch_reads_after_write_disable = latch_after_disable;
    s.platform.flash.bad_program_address = kBlock - 1;
  };
}

std::function<void(sim::Scenario&)> BusyGuard(unsigned ibf, unsigned obf, unsigned at_start,
                                              uint8_t reading) {
  return [=](sim::Scenario& s) {
    s = Guard(s.name, 1, 0x80, reading);
    s.platform.ec.ibf_busy_reads = ibf;
    s.platform.ec.obf_delay_reads = obf;
    s.platform.ec.busy_at_start_reads = at_start;
  };
}

std::vector<BusyCase> BusyCases() {
  return {
      {"IBF held 1 read", Busy(1, 0, 0, 0, 0), 2, 0},
      {"IBF held 64 reads", Busy(64, 0, 0, 0, 0), 65, 0},
      {"OBF late by 1 read", Busy(0, 1, 0, 0, 0), 2, 0},
      {"OBF late by 64 reads", Busy(0, 64, 0, 0, 0), 65, 0},
      {"EC busy 500 reads at power-on", Busy(0, 0, 500, 0, 0), 501, 0},
      {"flash busy 1 read after erase", Busy(0, 0, 0, 1, 0), 0, 2},
      {"flash busy 300 reads after erase", Busy(0, 0, 0, 300, 0), 0, 301},
      {"flash busy 1 read after program", Busy(0, 0, 0, 0, 1), 0, 2},
      {"flash busy 25 reads after program", Busy(0, 0, 0, 0, 25), 0, 26},
      {"everything busy", Busy(5, 9, 20, 100, 7), 21, 101},
      {"flash busy with the latch 30 reads after write enable", SlowLatch(30, 0), 0, 31},
      {"flash latch held 50 reads after write disable", SlowLatch(0, 50), 0, 51},
      {"no 0x33, OBF late", Busy(0, 64, 0, 0, 0, Outcome::HandshakeFails), 65, 0},
      // The eleventh reply is left unread: the leave command's wait sees OBF
      // and IBF set together and must still wait for IBF. IBF from 0xDC
      // lasts 20 status reads, ten of which the replies' waits use up.
      {"no 0x33, IBF held", Busy(20, 0, 0, 0, 0, Outcome::HandshakeFails), 11, 0},
      {"wrong identification, IBF held", Busy(7, 0, 0, 0, 0, Outcome::IdentificationFails), 8, 0},
      {"skip, EC busy", Busy(9, 9, 9, 9, 9, Outcome::Skipped), 10, 0},
      {"whole update, EC and flash busy", Busy(2, 3, 4, 40, 2, Outcome::Updated), 0, 41},
      {"guard, IBF held 1000 reads, power-off", BusyGuard(1000, 0, 0, 0x7F), 1001, 0},
      {"guard, OBF late by 1000 reads", BusyGuard(0, 1000, 0, 0x80), 1001, 0},
      {"guard, EC busy at load", BusyGuard(0, 0, 777, 0x10), 778, 0},
  };
}

INSTANTIATE_TEST_SUITE_P(Matrix, BusyWaits, testing::ValuesIn(BusyCases()), ParamName<BusyCase>);

} // namespace
} // namespace fault_matrix
