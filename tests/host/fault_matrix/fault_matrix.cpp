// SPDX-License-Identifier: BSD-2-Clause-Patent
// The fault matrix's shared support: the figures tally and its report, the
// port-log readers, and running and judging one case.
#include "tests/host/fault_matrix/fault_matrix.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "sim/hex_text.h"
#include "sim/native_runner.h"

namespace fault_matrix {

using sim::Out;
using sim::PortAccess;
using sim::PortLog;

namespace {

struct Figures {
  unsigned cases = 0;
  unsigned setup_kept = 0;
  unsigned ended_right = 0;
  std::map<std::string, unsigned> groups;
  std::map<std::string, unsigned> endings;
};

Figures& Tally() {
  static Figures figures;
  return figures;
}

std::string CurrentGroup() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) {
    return "?";
  }
  const std::string suite = info->test_suite_name();
  return suite.substr(suite.find('/') + 1); // drop the instantiation prefix
}

std::string FiguresText(const Figures& f) {
  std::ostringstream out;
  out << "Fault matrix: " << f.cases << " fault cases ran in " << f.groups.size() << " groups.\n"
      << "  Setup bytes that must be kept (all but byte " << sim::kRequestByte
      << ", and the attributes) were kept in " << f.setup_kept << " of " << f.cases << " cases.\n"
      << "  The drivers ended the way the protocol says in " << f.ended_right << " of " << f.cases
      << " cases.\n";
  const char* separator = "  By group: ";
  for (const auto& [group, n] : f.groups) {
    out << separator << group << " " << n;
    separator = ", ";
  }
  separator = "\n  By ending: ";
  for (const auto& [ending, n] : f.endings) {
    out << separator << ending << " " << n;
    separator = ", ";
  }
  out << "\n";
  return out.str();
}

// Prints the figures once every test has run, and leaves them in the file
// EC_FAULT_FIGURES names for ./test to show. Registered here, once, for the
// whole executable.
class FiguresReport : public testing::Environment {
public:
  void TearDown() override {
    const std::string text = FiguresText(Tally());
    std::cout << text << std::flush;
    if (const char* path = std::getenv("EC_FAULT_FIGURES"); path != nullptr && *path != 0) {
      std::ofstream(path) << text;
    }
  }
};

[[maybe_unused]] testing::Environment* const kFiguresReport =
    testing::AddGlobalTestEnvironment(new FiguresReport);

// A driver that spins where the protocol does not make it wait is stopped
// here and reported, instead of hanging the run. The longest case (a whole
// update with a busy EC and flash) makes about a third of this.
constexpr uint64_t kRunBudget = 64000000;

} // namespace

void Count(const std::string& ending, bool setup_kept, bool ended_right) {
  Figures& f = Tally();
  ++f.cases;
  f.setup_kept += setup_kept ? 1 : 0;
  f.ended_right += ended_right ? 1 : 0;
  ++f.groups[CurrentGroup()];
  ++f.endings[ending];
}

bool SetupKept(const sim::Scenario& s, const std::optional<sim::Variable>& after) {
  if (!s.setup) {
    return !after.has_value();
  }
  if (!after || after->attributes != s.setup_attributes || after->data.size() != s.setup->size()) {
    return false;
  }
  for (size_t i = 0; i < s.setup->size(); ++i) {
    if (i != sim::kRequestByte && after->data[i] != (*s.setup)[i]) {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Judging a port log's waits and status polls.

std::string WaitFaults(const PortLog& log) {
  size_t i = 0;
  while (i < log.size()) {
    const size_t start = i;
    while (i + 1 < log.size() && IsStatusRead(log[i]) && IsProgress(log[i + 1])) {
      i += 2;
    }
    const size_t reads = (i - start) / 2;
    if (i == log.size()) {
      return {};
    }
    const PortAccess& access = log[i];
    const std::string where = sim::Describe(access) + " (access " + std::to_string(i) + ")";
    if (!IsEcWrite(access) && !IsEcRead(access)) {
      if (reads != 0 || IsStatusRead(access) || IsProgress(access)) {
        return "stray status read or progress code before " + where;
      }
      ++i;
      continue;
    }
    if (reads == 0) {
      return "no wait before " + where;
    }
    const bool write = IsEcWrite(access);
    for (size_t k = 0; k < reads; ++k) {
      const uint8_t status = log[start + 2 * k].value;
      const uint8_t progress = log[start + 2 * k + 1].value;
      const bool ready = write ? (status & sim::kStatusIbf) == 0 : (status & sim::kStatusObf) != 0;
      if (progress != (write ? sim::kProgressWaitInput : sim::kProgressWaitOutput)) {
        return "wrong progress code in the wait before " + where;
      }
      if (ready != (k + 1 == reads)) {
        return "the wait before " + where + (ready ? " went on after" : " ended before") +
               " the EC was ready";
      }
    }
    ++i;
  }
  return {};
}

PortLog WithoutWaits(const PortLog& log) {
  PortLog out;
  out.reserve(log.size() / 3);
  for (const PortAccess& a : log) {
    if (!IsStatusRead(a) && !IsProgress(a)) {
      out.push_back(a);
    }
  }
  return out;
}

namespace {

// Whether a status read ends the poll that follows the given opcode: a write
// enable waits for the latch with the flash idle, a write disable for the
// latch to clear, anything else for the flash to be idle.
bool PollDone(std::optional<uint8_t> after, uint8_t status) {
  if (after == sim::kFlashWriteEnable) {
    return (status & (sim::kFlashStatusWel | sim::kFlashStatusBusy)) == sim::kFlashStatusWel;
  }
  if (after == sim::kFlashWriteDisable) {
    return (status & sim::kFlashStatusWel) == 0;
  }
  return (status & sim::kFlashStatusBusy) == 0;
}

} // namespace

PortLog FoldStatusPolls(const PortLog& log, std::string* fault) {
  PortLog out;
  out.reserve(log.size());
  sim::TrafficDecoder decoder;
  for (size_t i = 0; i < log.size(); ++i) {
    const PortAccess& a = log[i];
    const bool polling =
        decoder.in_transaction() && decoder.transaction().opcode == sim::kFlashReadStatus;
    if (decoder.See(a) == sim::Token::ReadByte && polling && i + 2 < log.size() &&
        IsEcRead(log[i + 1]) && log[i + 2] == Out(sim::kEcCommandPort, sim::kPtReadByte)) {
      decoder.See(log[i + 1]);
      if (PollDone(decoder.previous_opcode(), log[i + 1].value) && fault->empty()) {
        *fault = "a flash status poll went on after the read that ended it (access " +
                 std::to_string(i + 1) + ")";
      }
      ++i; // this read is followed by another: keep only the last
      continue;
    }
    out.push_back(a);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Running and judging one case.

std::vector<std::string> Judge(const sim::Scenario& s, sim::Expectation expected,
                               const sim::RunRecord& run, Timing timing) {
  std::vector<std::string> faults;
  if (timing == Timing::Busy) {
    if (std::string wait = WaitFaults(run.log); !wait.empty()) {
      faults.push_back(wait);
    }
    std::string poll;
    const PortLog folded = FoldStatusPolls(WithoutWaits(run.log), &poll);
    if (!poll.empty()) {
      faults.push_back(poll);
    }
    if (std::string diff = sim::FirstDifference(WithoutWaits(expected.trace), folded);
        !diff.empty()) {
      faults.push_back("without the waits, " + diff);
    }
    expected.trace = run.log; // judged above, wait by wait
  }
  std::vector<std::string> rest = sim::Check(s, expected, run);
  faults.insert(faults.end(), rest.begin(), rest.end());
  return faults;
}

void Report(const Case& c) {
  const bool kept = SetupKept(c.scenario, c.run.setup_after);
  Count(sim::EndingName(c.expected.ending), kept, c.faults.empty());
  EXPECT_TRUE(kept) << c.scenario.name << ": Setup bytes that must be kept were changed";
  for (const std::string& fault : c.faults) {
    ADD_FAILURE() << c.scenario.name << ": " << fault;
  }
}

Case RunCase(sim::Scenario s, Timing timing) {
  if (s.platform.access_limit == 0) {
    s.platform.access_limit = kRunBudget;
  }
  Case c{s, sim::Expect(s), sim::RunNative(s), {}};
  c.faults = Judge(c.scenario, c.expected, c.run, timing);
  Report(c);
  return c;
}

sim::Scenario Update(std::string name) {
  static const sim::Scenario base = sim::UpdateScenario("update", "");
  sim::Scenario s = base;
  s.name = std::move(name);
  return s;
}

sim::Scenario Guard(std::string name, uint8_t enable, uint8_t threshold, uint8_t reading) {
  return sim::GuardScenario(std::move(name), "", enable, threshold, reading);
}

// ---------------------------------------------------------------------------
// Parameters and outcomes.

std::string Identifier(std::string name) {
  for (char& c : name) {
    c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
  }
  return name;
}

std::string HexDigits(unsigned byte) {
  return sim::HexByte(byte).substr(2);
}

const char* OutcomeName(Outcome o) {
  switch (o) {
  case Outcome::NoRequest0:
    return "request 0";
  case Outcome::NoRequest2:
    return "request 2";
  case Outcome::NoRequestFF:
    return "request FF";
  case Outcome::Skipped:
    return "skipped";
  case Outcome::Updated:
    return "updated";
  case Outcome::HandshakeFails:
    return "no 0x33";
  case Outcome::IdentificationFails:
    return "wrong identification";
  case Outcome::BlankCheckFails:
    return "blank check fails";
  case Outcome::VerifyFails:
    return "verify fails";
  }
  return "?";
}

std::string OutcomeParamName(const testing::TestParamInfo<Outcome>& info) {
  return Identifier(OutcomeName(info.param));
}

void Arrange(sim::Scenario& s, Outcome o) {
  switch (o) {
  case Outcome::NoRequest0:
  case Outcome::NoRequest2:
  case Outcome::NoRequestFF:
    if (s.setup && s.setup->size() > sim::kRequestByte) {
      (*s.setup)[sim::kRequestByte] = o == Outcome::NoRequest0   ? 0
                                      : o == Outcome::NoRequest2 ? 2
                                                                 : 0xFF;
    }
    return;
  case Outcome::Skipped:
    s.keys = {{0, u'q'}};
    return;
  case Outcome::Updated:
    return;
  case Outcome::HandshakeFails:
    s.platform.ec.replies_before_ready = -1;
    return;
  case Outcome::IdentificationFails:
    s.platform.flash.id = {0xFF, 0xFF, 0xFF, 0xFE};
    return;
  case Outcome::BlankCheckFails:
    s.platform.flash.stuck_erase_address = 3 * kBlock + 0x155;
    return;
  case Outcome::VerifyFails:
    s.platform.flash.bad_program_address = 2 * kBlock + 7;
    return;
  }
}

std::vector<uint8_t> SetupOfSize(size_t size) {
  std::vector<uint8_t> setup = sim::PatternSetup(size);
  if (size > sim::kRequestByte) {
    setup[sim::kRequestByte] = sim::kUpdateRequested;
  }
  if (size > sim::kGuardEnableByte) {
    setup[sim::kGuardEnableByte] = 1;
  }
  if (size > sim::kGuardThresholdByte) {
    setup[sim::kGuardThresholdByte] = 0x80;
  }
  return setup;
}

} // namespace fault_matrix
