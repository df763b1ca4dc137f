// SPDX-License-Identifier: BSD-2-Clause-Patent
// An EC or flash that never becomes ready: the driver spins at that wait
// until the test stops it.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/hex_text.h"
#include "sim/native_runner.h"
#include "tests/host/fault_matrix/fault_matrix.h"

namespace fault_matrix {
namespace {

using fault_matrix::PrintTo; // found by gtest through the parameter types
using sim::In;
using sim::Out;
using sim::PortAccess;
using sim::PortLog;

constexpr uint64_t kSpinBudget = 200000;
constexpr size_t kTail = 600; // the accesses that show where the driver spins

struct SpinCase {
  std::string name;
  std::function<void(sim::Scenario&)> arrange;
  bool flash_poll;                      // spins polling the flash status; else an EC wait
  uint8_t progress;                     // EC wait: the progress code left on port 0x80
  std::optional<PortAccess> last_byte;  // EC wait: the last byte moved before it, if any
  std::optional<uint8_t> before_opcode; // flash poll: the transaction before the poll
};

class NeverReady : public testing::TestWithParam<SpinCase> {};

TEST_P(NeverReady, SpinsAtThatWait) {
  const SpinCase& c = GetParam();
  sim::Scenario s = Update(c.name);
  c.arrange(s);
  s.platform.access_limit = kSpinBudget;
  const sim::RunRecord run = sim::RunNative(s);
  std::vector<std::string> faults;
  const auto fault = [&](std::string what) { faults.push_back(std::move(what)); };

  if (run.stopped.find("access limit") == std::string::npos) {
    fault("not stopped by the access limit: " + run.stopped);
  }
  if (run.log.size() < kTail) {
    fault("too short a log");
  }
  const PortLog tail(run.log.end() - static_cast<ptrdiff_t>(std::min(kTail, run.log.size())),
                     run.log.end());
  for (const PortAccess& a : tail) {
    const bool wait = IsStatusRead(a) || IsProgress(a);
    const bool poll = a == Out(sim::kEcCommandPort, sim::kPtReadByte) ||
                      (IsEcRead(a) && (a.value & sim::kFlashStatusBusy) != 0);
    if (!(wait || (c.flash_poll && poll))) {
      fault("the tail holds " + sim::Describe(a));
      break;
    }
    if (!c.flash_poll && IsProgress(a) && a.value != c.progress) {
      fault("progress code " + sim::HexByte(a.value) + " while spinning");
      break;
    }
    if (!c.flash_poll && IsStatusRead(a)) {
      const bool ready = c.progress == sim::kProgressWaitInput ? (a.value & sim::kStatusIbf) == 0
                                                               : (a.value & sim::kStatusObf) != 0;
      if (ready) {
        fault("the EC showed ready while the driver kept waiting");
        break;
      }
    }
  }
  if (!c.flash_poll) {
    const PortLog moved = WithoutWaits(run.log);
    const std::string last = moved.empty() ? "none" : sim::Describe(moved.back());
    const std::string want = c.last_byte ? sim::Describe(*c.last_byte) : "none";
    if (last != want) {
      fault("last byte moved before the wait is " + last + ", expected " + want);
    }
  }
  if (c.flash_poll) {
    const std::vector<FlashTransaction> all = FlashTransactions(run.log);
    if (all.empty() || all.back().opcode != sim::kFlashReadStatus ||
        all.back().read.size() < 1000) {
      fault("not spinning in a flash status poll");
    } else if (c.before_opcode) {
      if (all.size() < 2 || all[all.size() - 2].opcode != c.before_opcode) {
        fault("the poll does not follow opcode " + sim::HexByte(*c.before_opcode));
      }
    } else if (all.size() != 1) {
      fault("the poll is not the first flash transaction");
    }
  }
  for (const PortAccess& a : run.log) {
    if (a == Out(sim::kEcCommandPort, sim::kPtLeave) || a.port == sim::kResetControlPort) {
      fault("the flow went on to its ending: " + sim::Describe(a));
      break;
    }
  }
  if (s.driver == sim::Driver::Updater && run.console.size() != 3) {
    fault("console shows " + std::to_string(run.console.size()) + " messages, expected 3");
  }
  if (run.reset_system || run.reset_port_written) {
    fault("reset or power-off while spinning");
  }
  if (!run.setup_after || run.setup_after->data != *s.setup) {
    fault("Setup changed although no ending ran");
  }
  for (const std::string& v : run.violations) {
    fault("EC protocol breach: " + v);
  }
  const bool kept = SetupKept(s, run.setup_after);
  Count("spins until stopped", kept, faults.empty());
  EXPECT_TRUE(kept) << c.name;
  for (const std::string& f : faults) {
    ADD_FAILURE() << c.name << ": " << f;
  }
}

std::vector<SpinCase> SpinCases() {
  const auto flash = [](std::function<void(sim::FlashConfig&)> set) {
    return [=](sim::Scenario& s) { set(s.platform.flash); };
  };
  const auto ec = [](std::function<void(sim::EcConfig&)> set) {
    return [=](sim::Scenario& s) { set(s.platform.ec); };
  };
  const auto guard = [](std::function<void(sim::EcConfig&)> set) {
    return [=](sim::Scenario& s) {
      s = Guard(s.name, 1, 0x80, 0x7F);
      set(s.platform.ec);
    };
  };
  return {
      {"flash busy from power-on", flash([](sim::FlashConfig& f) { f.busy_forever = true; }), true,
       0, std::nullopt, std::nullopt},
      {"flash busy for good after the first erase",
       flash([](sim::FlashConfig& f) { f.busy_reads_after_erase = UINT_MAX; }), true, 0,
       std::nullopt, sim::kFlashErase1K},
      {"flash busy for good after the first program",
       flash([](sim::FlashConfig& f) { f.busy_reads_after_program = UINT_MAX; }), true, 0,
       std::nullopt, sim::kFlashWordProgram},
      {"EC never takes a byte after 0xDC",
       ec([](sim::EcConfig& e) { e.ibf_busy_reads = UINT_MAX; }), false, sim::kProgressWaitInput,
       In(sim::kEcDataPort, sim::kPtReady), std::nullopt},
      {"EC never answers 0xDC", ec([](sim::EcConfig& e) { e.obf_delay_reads = UINT_MAX; }), false,
       sim::kProgressWaitOutput, Out(sim::kEcCommandPort, sim::kPtEnter), std::nullopt},
      {"EC busy for good at power-on",
       ec([](sim::EcConfig& e) { e.busy_at_start_reads = UINT_MAX; }), false,
       sim::kProgressWaitInput, std::nullopt, std::nullopt},
      {"guard, EC never takes the threshold",
       guard([](sim::EcConfig& e) { e.ibf_busy_reads = UINT_MAX; }), false, sim::kProgressWaitInput,
       Out(sim::kEcCommandPort, sim::kGuardThreshold), std::nullopt},
      {"guard, EC never answers the read",
       guard([](sim::EcConfig& e) { e.obf_delay_reads = UINT_MAX; }), false,
       sim::kProgressWaitOutput, Out(sim::kEcDataPort, sim::kGuardRegister), std::nullopt},
  };
}

INSTANTIATE_TEST_SUITE_P(Matrix, NeverReady, testing::ValuesIn(SpinCases()), ParamName<SpinCase>);

} // namespace
} // namespace fault_matrix
