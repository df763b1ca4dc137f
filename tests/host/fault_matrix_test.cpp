// The fault matrix: the inputs and faults the drivers can meet on the
// simulated platform, in groups, every case judged against what the protocol
// description makes of it (console, port sequence, Setup, EC flash, ending).
// The run closes with the reliability figures: how many cases ran, in how
// many the Setup bytes that must be kept were kept, and in how many the
// drivers ended the way the protocol says.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/setup_data.h"
#include "sim/expectation.h"
#include "sim/native_runner.h"
#include "sim/protocol_trace.h"
#include "sim/scenario.h"
#include "updater/updater.h"

namespace {

using sim::In;
using sim::Out;
using sim::PortAccess;
using sim::PortDir;
using sim::PortLog;

constexpr uint16_t kDataPort = 0x62;
constexpr uint16_t kCommandPort = 0x66;
constexpr uint16_t kPostPort = 0x80;
constexpr uint8_t kObf = 0x01;
constexpr uint8_t kIbf = 0x02;
constexpr uint8_t kWaitInput = 0xEB;
constexpr uint8_t kWaitOutput = 0xEC;
constexpr uint32_t kBlock = 0x400;
constexpr uint64_t kPollUs = 100000;

// ---------------------------------------------------------------------------
// Reliability figures, counted case by case.

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

void Count(const std::string& ending, bool setup_kept, bool ended_right) {
  Figures& f = Tally();
  ++f.cases;
  f.setup_kept += setup_kept ? 1 : 0;
  f.ended_right += ended_right ? 1 : 0;
  ++f.groups[CurrentGroup()];
  ++f.endings[ending];
}

std::string FiguresText(const Figures& f) {
  std::ostringstream out;
  out << "Fault matrix: " << f.cases << " fault cases ran in " << f.groups.size() << " groups.\n"
      << "  Setup bytes that must be kept (all but byte 3172, and the attributes) were kept in "
      << f.setup_kept << " of " << f.cases << " cases.\n"
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

// Every byte but the request byte, and the attributes, exactly as before; an
// absent variable stays absent.
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
// Reading a port log the way the protocol describes it.

bool IsStatusRead(const PortAccess& a) {
  return a.port == kCommandPort && a.dir == PortDir::In;
}
bool IsProgress(const PortAccess& a) {
  return a.port == kPostPort && a.dir == PortDir::Out;
}
bool IsEcWrite(const PortAccess& a) {
  return a.dir == PortDir::Out && (a.port == kCommandPort || a.port == kDataPort);
}
bool IsEcRead(const PortAccess& a) {
  return a.dir == PortDir::In && a.port == kDataPort;
}

// The EC handshake's waits: every byte written to 0x62/0x66 follows status
// reads each with progress 0xEB, the last showing IBF clear and every earlier
// one IBF set; every byte read from 0x62 likewise with 0xEC and OBF set. A
// wait left open at the end of the log is a run stopped while it spun.
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
      const bool ready = write ? (status & kIbf) == 0 : (status & kObf) != 0;
      if (progress != (write ? kWaitInput : kWaitOutput)) {
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

// Folds each flash status poll (a read-status transaction read again and
// again) down to its last read. The reads folded away must show the flash
// busy: in the simulation nothing else keeps a poll going.
PortLog FoldStatusPolls(const PortLog& log, std::string* fault) {
  PortLog out;
  out.reserve(log.size());
  enum class Next { Command, Opcode, Data } next = Next::Command;
  bool polling = false;
  for (size_t i = 0; i < log.size(); ++i) {
    const PortAccess& a = log[i];
    if (a.port != kCommandPort || a.dir != PortDir::Out) {
      out.push_back(a);
      continue;
    }
    if (next == Next::Opcode) {
      polling = a.value == 0x05;
      next = Next::Command;
    } else if (next == Next::Data) {
      next = Next::Command;
    } else if (a.value == 0x02) {
      next = Next::Opcode;
    } else if (a.value == 0x03) {
      next = Next::Data;
    } else if (a.value == 0x04 && polling && i + 2 < log.size() && IsEcRead(log[i + 1]) &&
               log[i + 2] == Out(kCommandPort, 0x04)) {
      if ((log[i + 1].value & 0x01) == 0 && fault->empty()) {
        *fault =
            "a flash status poll went on after an idle read (access " + std::to_string(i + 1) + ")";
      }
      ++i; // this read is followed by another: keep only the last
      continue;
    } else if (a.value != 0x04) {
      polling = false;
    }
    out.push_back(a);
  }
  return out;
}

// One flash transaction as relayed through the pass-through commands.
struct FlashTransaction {
  std::optional<uint8_t> opcode;
  std::vector<uint8_t> sent; // address and data bytes
  std::vector<uint8_t> read;
  [[nodiscard]] bool HasAddress() const { return sent.size() >= 3; }
  [[nodiscard]] uint32_t Address() const {
    return static_cast<uint32_t>(sent[0]) << 16 | static_cast<uint32_t>(sent[1]) << 8 | sent[2];
  }
};

std::vector<FlashTransaction> Transactions(const PortLog& log) {
  std::vector<FlashTransaction> all;
  bool open = false;
  enum class Next { Command, Opcode, Data, Reply } next = Next::Command;
  for (const PortAccess& a : log) {
    if (IsEcRead(a)) {
      if (next == Next::Reply) {
        if (open) {
          all.back().read.push_back(a.value);
        }
        next = Next::Command;
      }
      continue;
    }
    if (a.port != kCommandPort || a.dir != PortDir::Out) {
      continue;
    }
    if (next == Next::Opcode || next == Next::Data) {
      if (open && next == Next::Opcode) {
        all.back().opcode = a.value;
      } else if (open) {
        all.back().sent.push_back(a.value);
      }
      next = Next::Command;
      continue;
    }
    switch (a.value) {
    case 0x01:
      all.emplace_back();
      open = true;
      break;
    case 0x02:
      next = Next::Opcode;
      break;
    case 0x03:
      next = Next::Data;
      break;
    case 0x04:
      next = Next::Reply;
      break;
    default: // deselect, leave, enter: outside any transaction
      open = false;
      break;
    }
  }
  return all;
}

// ---------------------------------------------------------------------------
// Running and judging one case.

enum class Timing {
  NeverBusy, // the exact port sequence of an EC and flash that are never busy
  Busy,      // waits vary: judged by their form and by the accesses between them
};

struct Case {
  sim::Scenario scenario;
  sim::Expectation expected;
  sim::RunRecord run;
  std::vector<std::string> faults;
};

// RunNative with a firmware knob the scenarios do not carry.
sim::RunRecord RunWithFirmware(const sim::Scenario& s,
                               const std::function<void(sim::FakeFirmware&)>& adjust) {
  sim::NativeMachine machine(s.platform);
  sim::PrepareFirmware(s, machine.firmware());
  adjust(machine.firmware());
  EFI_STATUS status = EFI_SUCCESS;
  std::string stopped;
  try {
    if (s.driver == sim::Driver::Updater) {
      status = machine.LoadUpdater();
      for (int i = 0; i < s.trigger_installs; ++i) {
        machine.InstallTrigger();
      }
    } else {
      status = machine.LoadGuard();
    }
  } catch (const std::exception& e) {
    stopped = e.what();
  }
  sim::RunRecord run = sim::Record(machine.platform(), machine.firmware());
  run.entry_status = status;
  run.stopped = stopped;
  return run;
}

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

// A driver that spins where the protocol does not make it wait is stopped
// here and reported, instead of hanging the run. The longest case (a whole
// update with a busy EC and flash) makes about a third of this.
constexpr uint64_t kRunBudget = 64000000;

Case RunCase(sim::Scenario s, Timing timing = Timing::NeverBusy) {
  if (s.platform.access_limit == 0) {
    s.platform.access_limit = kRunBudget;
  }
  Case c{s, sim::Expect(s), sim::RunNative(s), {}};
  c.faults = Judge(c.scenario, c.expected, c.run, timing);
  Report(c);
  return c;
}

// The catalogue's update scenario (request 1, random image, other old
// firmware in the flash), built once.
sim::Scenario Update(std::string name) {
  static const sim::Scenario base = sim::UpdateScenario("update", "");
  sim::Scenario s = base;
  s.name = std::move(name);
  return s;
}

sim::Scenario Guard(std::string name, uint8_t enable, uint8_t threshold, uint8_t reading) {
  return sim::GuardScenario(std::move(name), "", enable, threshold, reading);
}

// Parameters print as their names in test listings and failures.
template <typename T>
concept Named = requires(const T& t) {
  t.name;
};
template <Named T> void PrintTo(const T& param, std::ostream* os) {
  *os << param.name;
}

std::string Identifier(std::string name) {
  for (char& c : name) {
    c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
  }
  return name;
}

template <typename T> std::string ParamName(const testing::TestParamInfo<T>& info) {
  return Identifier(info.param.name);
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

// The ways an update flow can end, each set up on a scenario.
enum class Outcome {
  NoRequest0,
  NoRequest2,
  NoRequestFF,
  Skipped,
  Updated,
  HandshakeFails,
  IdentificationFails,
  BlankCheckFails,
  VerifyFails,
};

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
      (*s.setup)[sim::kRequestByte] = o == Outcome::NoRequest0   ? 0x00
                                      : o == Outcome::NoRequest2 ? 0x02
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

// A Setup of the given size in the usual pattern, with the request, the
// guard's enable and its threshold set wherever the size reaches them.
std::vector<uint8_t> SetupOfSize(size_t size) {
  std::vector<uint8_t> setup = sim::PatternSetup(size);
  if (size > sim::kRequestByte) {
    setup[sim::kRequestByte] = 1;
  }
  if (size > sim::kGuardEnableByte) {
    setup[sim::kGuardEnableByte] = 1;
  }
  if (size > sim::kGuardThresholdByte) {
    setup[sim::kGuardThresholdByte] = 0x80;
  }
  return setup;
}

// ---------------------------------------------------------------------------
// "Setup": absent, every size around the bytes the drivers use, larger than
// the buffer, and read errors, for both drivers.

struct SetupCase {
  std::string name;
  std::optional<size_t> size; // absent: no variable
  std::optional<EFI_STATUS> read_error;
};

std::vector<SetupCase> SetupCases() {
  std::vector<SetupCase> cases = {{"absent", std::nullopt, std::nullopt}};
  for (size_t size : {0, 3172, 3173, 3176, 3177, 3178, 3180, 3181}) {
    cases.push_back({"size " + std::to_string(size), size, std::nullopt});
  }
  for (const auto& [name, error] :
       std::vector<std::pair<std::string, EFI_STATUS>>{{"not found", EFI_NOT_FOUND},
                                                       {"device error", EFI_DEVICE_ERROR},
                                                       {"access denied", EFI_ACCESS_DENIED},
                                                       {"security", EFI_SECURITY_VIOLATION},
                                                       {"buffer too small", EFI_BUFFER_TOO_SMALL},
                                                       {"invalid", EFI_INVALID_PARAMETER},
                                                       {"unsupported", EFI_UNSUPPORTED}}) {
    cases.push_back({"read error " + name, 3180, error});
  }
  return cases;
}

class SetupVariable : public testing::TestWithParam<SetupCase> {
protected:
  void Shape(sim::Scenario& s) const {
    const SetupCase& c = GetParam();
    if (c.size) {
      s.setup = SetupOfSize(*c.size);
    } else {
      s.setup.reset();
    }
    s.get_variable_error = c.read_error;
  }
};

// A whole update ends through the same finish step as the failures; the
// Endings group runs it with each kind of Setup.
TEST_P(SetupVariable, UpdaterActsOnlyOnAReadableRequest) {
  for (Outcome o : {Outcome::Skipped, Outcome::HandshakeFails, Outcome::BlankCheckFails,
                    Outcome::VerifyFails}) {
    sim::Scenario s = Update(GetParam().name + ", " + OutcomeName(o));
    Shape(s);
    Arrange(s, o);
    RunCase(s);
  }
}

TEST_P(SetupVariable, GuardActsOnlyOnReadableSettings) {
  for (uint8_t reading : {0x7F, 0x80}) {
    sim::Scenario s = Guard(GetParam().name + ", reading " + Hex(reading), 1, 0x80, reading);
    Shape(s);
    RunCase(s);
  }
}

INSTANTIATE_TEST_SUITE_P(Matrix, SetupVariable, testing::ValuesIn(SetupCases()),
                         ParamName<SetupCase>);

// ---------------------------------------------------------------------------
// What is kept after every ending: other Setup contents and attributes.

struct Filling {
  const char* name;
  std::function<uint8_t(size_t)> byte;
  uint32_t attributes;
};

const std::vector<Filling>& Fillings() {
  static const std::vector<Filling> fillings = {
      {"pattern, NV+BS+RT", [](size_t i) { return static_cast<uint8_t>(i * 37 + 11); }, 0x7},
      {"zeros, BS+RT", [](size_t) { return uint8_t{0x00}; }, 0x6},
      {"ones, NV+BS", [](size_t) { return uint8_t{0xFF}; }, 0x3},
      {"index, NV+BS+RT+append", [](size_t i) { return static_cast<uint8_t>(i ^ (i >> 8)); }, 0x47},
  };
  return fillings;
}

class Endings : public testing::TestWithParam<Outcome> {};

TEST_P(Endings, KeepEveryOtherSetupByteAndTheAttributes) {
  for (const Filling& filling : Fillings()) {
    sim::Scenario s = Update(std::string(OutcomeName(GetParam())) + ", " + filling.name);
    for (size_t i = 0; i < s.setup->size(); ++i) {
      (*s.setup)[i] = filling.byte(i);
    }
    (*s.setup)[sim::kRequestByte] = 1;
    s.setup_attributes = filling.attributes;
    Arrange(s, GetParam());
    RunCase(s);
  }
}

INSTANTIATE_TEST_SUITE_P(Matrix, Endings,
                         testing::Values(Outcome::NoRequest0, Outcome::NoRequest2,
                                         Outcome::NoRequestFF, Outcome::Skipped, Outcome::Updated,
                                         Outcome::HandshakeFails, Outcome::IdentificationFails,
                                         Outcome::BlankCheckFails, Outcome::VerifyFails),
                         OutcomeParamName);

// A variable write that fails changes nothing else: same messages, same EC
// traffic, same restart; Setup simply keeps its request.
class SetVariableFails : public testing::TestWithParam<Outcome> {};

TEST_P(SetVariableFails, TheFlowEndsTheSameWay) {
  std::vector<EFI_STATUS> errors = {EFI_WRITE_PROTECTED, EFI_DEVICE_ERROR, EFI_OUT_OF_RESOURCES,
                                    EFI_SECURITY_VIOLATION, EFI_INVALID_PARAMETER};
  if (GetParam() == Outcome::Updated) {
    errors.resize(2); // a whole update each; the other endings take every error
  }
  for (EFI_STATUS error : errors) {
    sim::Scenario s = Update(std::string(OutcomeName(GetParam())) + ", write error " +
                             std::to_string(error & 0xFF));
    Arrange(s, GetParam());
    Case c{s,
           sim::Expect(s),
           RunWithFirmware(
               s, [&](sim::FakeFirmware& firmware) { firmware.set_variable_error = error; }),
           {}};
    c.expected.setup_after = s.setup; // the write was refused
    c.faults = Judge(c.scenario, c.expected, c.run, Timing::NeverBusy);
    Report(c);
  }
}

INSTANTIATE_TEST_SUITE_P(Matrix, SetVariableFails,
                         testing::Values(Outcome::Skipped, Outcome::Updated,
                                         Outcome::HandshakeFails, Outcome::VerifyFails),
                         OutcomeParamName);

// ---------------------------------------------------------------------------
// The finish step on its own: it reads Setup again, so it can meet a request
// value other than 1 or a read that fails although the first one succeeded.

struct FinishRun {
  PortLog log;
  std::optional<sim::Variable> setup;
  std::vector<std::string> calls; // firmware calls made by the finish step
};

FinishRun Finish(const std::optional<std::vector<uint8_t>>& setup, uint32_t attributes,
                 std::optional<EFI_STATUS> read_error = std::nullopt) {
  sim::NativeMachine machine;
  if (setup) {
    machine.firmware().PutVariable(u"Setup", SetupVariableGuid, {attributes, *setup});
  }
  machine.LoadUpdater(); // the entry stores the table pointers the step uses
  machine.firmware().get_variable_error = read_error;
  const size_t calls_before = machine.firmware().calls().size();
  updater::FinishUpdate();
  FinishRun run;
  run.log = machine.platform().log();
  if (const sim::Variable* v = machine.firmware().FindVariable(u"Setup", SetupVariableGuid)) {
    run.setup = *v;
  }
  run.calls.assign(machine.firmware().calls().begin() + static_cast<ptrdiff_t>(calls_before),
                   machine.firmware().calls().end());
  return run;
}

PortLog LeaveOnly() {
  sim::ProtocolTrace trace;
  trace.Command(0xFE);
  return trace.log();
}

// Judges one finish step: 0xFE sent and nothing else on the ports; the
// request cleared exactly when readable and non-zero, written back with the
// size and attributes the read returned; everything else kept.
void JudgeFinish(const std::string& name, const sim::Scenario& s, const FinishRun& run,
                 bool clears) {
  std::vector<std::string> faults;
  if (run.log != LeaveOnly()) {
    faults.push_back("ports: " + sim::FirstDifference(LeaveOnly(), run.log));
  }
  std::vector<std::string> calls = {"GetVariable(size=3180)"};
  if (clears) {
    calls.push_back("SetVariable(attributes=" + std::to_string(s.setup_attributes) +
                    ", size=" + std::to_string(s.setup->size()) + ")");
  }
  if (run.calls != calls) {
    faults.push_back("firmware calls differ: " + std::to_string(run.calls.size()) + " made");
  }
  if (s.setup && run.setup && s.setup->size() > sim::kRequestByte) {
    const uint8_t want = clears ? 0 : (*s.setup)[sim::kRequestByte];
    if (run.setup->data[sim::kRequestByte] != want) {
      faults.push_back("request byte is " + Hex(run.setup->data[sim::kRequestByte]) +
                       ", expected " + Hex(want));
    }
  }
  const bool kept = SetupKept(s, run.setup);
  Count("finish step", kept, faults.empty());
  EXPECT_TRUE(kept) << name << ": Setup bytes that must be kept were changed";
  for (const std::string& fault : faults) {
    ADD_FAILURE() << name << ": " << fault;
  }
}

TEST(FinishStep, ClearsEveryNonZeroRequestValue) {
  for (int value = 0; value < 256; ++value) {
    sim::Scenario s = Update("finish, request " + Hex(value));
    (*s.setup)[sim::kRequestByte] = static_cast<uint8_t>(value);
    JudgeFinish(s.name, s, Finish(s.setup, s.setup_attributes), value != 0);
  }
}

TEST(FinishStep, WritesBackTheSizeAndAttributesItRead) {
  for (size_t size : {3172, 3173, 3176, 3177, 3180}) {
    for (uint32_t attributes : {0x7u, 0x3u, 0x27u}) {
      sim::Scenario s = Update("finish, size " + std::to_string(size) + ", attributes " +
                               std::to_string(attributes));
      s.setup = SetupOfSize(size);
      s.setup_attributes = attributes;
      JudgeFinish(s.name, s, Finish(s.setup, attributes), size > sim::kRequestByte);
    }
  }
}

TEST(FinishStep, UnreadableSetupStaysAndTheEcStillLeaves) {
  for (EFI_STATUS error : {EFI_NOT_FOUND, EFI_DEVICE_ERROR, EFI_BUFFER_TOO_SMALL,
                           EFI_SECURITY_VIOLATION, EFI_ACCESS_DENIED}) {
    sim::Scenario s = Update("finish, read error " + std::to_string(error & 0xFF));
    JudgeFinish(s.name, s, Finish(s.setup, s.setup_attributes, error), false);
  }
  sim::Scenario absent = Update("finish, no Setup");
  absent.setup.reset();
  JudgeFinish(absent.name, absent, Finish(std::nullopt, 0), false);
  sim::Scenario large = Update("finish, Setup of 3181 bytes");
  large.setup = SetupOfSize(3181);
  JudgeFinish(large.name, large, Finish(large.setup, large.setup_attributes), false);
}

// ---------------------------------------------------------------------------
// The EC's answer to 0xDC: 0x33 as reply 1..10, as reply 11 (past the
// bound) or never, after various other replies.

struct HandshakeCase {
  std::string name;
  int ready_at; // the reply that is 0x33; 0: never
};

class Handshake : public testing::TestWithParam<HandshakeCase> {};

constexpr uint8_t kNotReady[] = {0x00, 0xFF, 0x32, 0x34, 0xCC, 0x03};

// A handshake that succeeds goes on to programming. The first and the tenth
// reply run the whole update; the others stop at a verify fault in block 0,
// which is enough to show the pass went ahead.
TEST_P(Handshake, ReadyWithinTenRepliesOrInitFailure) {
  const int ready_at = GetParam().ready_at;
  const bool bounded = ready_at >= 1 && ready_at <= 10;
  const bool whole = ready_at == 1 || ready_at == 10;
  std::vector<uint8_t> others(std::begin(kNotReady), std::end(kNotReady));
  if (bounded) {
    others = {kNotReady[ready_at % std::size(kNotReady)]};
  }
  for (uint8_t other : others) {
    sim::Scenario s = Update(GetParam().name + ", others " + Hex(other));
    s.platform.ec.replies_before_ready = ready_at == 0 ? -1 : ready_at - 1;
    s.platform.ec.not_ready_reply = other;
    if (bounded && !whole) {
      Arrange(s, Outcome::VerifyFails);
    }
    const Case c = RunCase(s);
    EXPECT_EQ(c.expected.ending, !bounded ? sim::Ending::InitFailed
                                 : whole  ? sim::Ending::Updated
                                          : sim::Ending::UpdateFailed);
    // Replies are read one at a time, never more than ten, before the first
    // flash transaction (or the leave command of the init failure).
    size_t replies = 0;
    for (size_t i = 0; i < c.run.log.size() && c.run.log[i] != Out(kCommandPort, 0x01) &&
                       c.run.log[i] != Out(kCommandPort, 0xFE);
         ++i) {
      replies += IsEcRead(c.run.log[i]) ? 1 : 0;
    }
    EXPECT_EQ(replies, bounded ? static_cast<size_t>(ready_at) : 10u) << s.name;
  }
}

std::vector<HandshakeCase> HandshakeCases() {
  std::vector<HandshakeCase> cases;
  for (int at = 1; at <= 10; ++at) {
    cases.push_back({"0x33 as reply " + std::to_string(at), at});
  }
  cases.push_back({"0x33 as reply 11", 11});
  cases.push_back({"no 0x33", 0});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Matrix, Handshake, testing::ValuesIn(HandshakeCases()),
                         ParamName<HandshakeCase>);

// ---------------------------------------------------------------------------
// Flash identification: every wrong value in each of the four positions.

class Identification : public testing::TestWithParam<int> {};

TEST_P(Identification, EveryWrongByteFailsInit) {
  const int position = GetParam();
  const std::array<uint8_t, 4> good = {0xFF, 0xFF, 0xFE, 0xFF};
  int wrong = 0;
  for (int value = 0; value < 256; ++value) {
    if (value == good[position]) {
      continue;
    }
    sim::Scenario s = Update("id byte " + std::to_string(position) + " = " + Hex(value));
    s.platform.flash.id = good;
    s.platform.flash.id[position] = static_cast<uint8_t>(value);
    const Case c = RunCase(s);
    EXPECT_EQ(c.expected.ending, sim::Ending::InitFailed);
    ++wrong;
  }
  EXPECT_EQ(wrong, 255);
}

INSTANTIATE_TEST_SUITE_P(Matrix, Identification, testing::Range(0, 4),
                         [](const testing::TestParamInfo<int>& info) {
                           return "position_" + std::to_string(info.param);
                         });

TEST(IdentificationOrder, RightBytesInAnyOtherOrderFail) {
  const std::vector<std::array<uint8_t, 4>> ids = {{0xFF, 0xFF, 0xFF, 0xFE},
                                                   {0xFE, 0xFF, 0xFF, 0xFF},
                                                   {0xFF, 0xFE, 0xFF, 0xFF},
                                                   {0xFF, 0xFF, 0xFF, 0xFF},
                                                   {0x00, 0x00, 0x00, 0x00}};
  for (const auto& id : ids) {
    sim::Scenario s = Update("id " + Hex(id[0]) + Hex(id[1]) + Hex(id[2]) + Hex(id[3]));
    s.platform.flash.id = id;
    EXPECT_EQ(RunCase(s).expected.ending, sim::Ending::InitFailed);
  }
}

// ---------------------------------------------------------------------------
// A byte that does not erase, or programs wrong, at the first, a middle and
// the last byte of the first, a middle and the last block.

struct BlockFault {
  std::string name;
  bool blank_check; // else verify
  uint32_t block;
  uint32_t byte;
};

class BlockFaults : public testing::TestWithParam<BlockFault> {};

TEST_P(BlockFaults, FailTheBlockAndTouchNothingAfterIt) {
  const BlockFault& f = GetParam();
  const uint32_t address = f.block * kBlock + f.byte;
  const size_t variant = f.block + f.byte;
  sim::Scenario s = Update(f.name);
  uint8_t wrong_byte = 0;
  if (f.blank_check) {
    constexpr uint8_t kStuck[] = {0x00, 0xFE, 0x7F, 0xEF, 0x80, 0xF7};
    s.platform.flash.stuck_erase_address = address;
    s.platform.flash.stuck_value = kStuck[variant % std::size(kStuck)];
    wrong_byte = s.platform.flash.stuck_value;
  } else {
    constexpr uint8_t kFlip[] = {0x01, 0x80, 0xFF, 0x10, 0x08, 0x40};
    s.platform.flash.bad_program_address = address;
    s.platform.flash.bad_program_flip = kFlip[variant % std::size(kFlip)];
    wrong_byte = s.platform.ec_image[address] ^ s.platform.flash.bad_program_flip;
  }
  const Case c = RunCase(s);
  EXPECT_EQ(c.expected.ending, sim::Ending::UpdateFailed);

  // Read off the command stream: erases, programs and reads per block.
  const std::vector<FlashTransaction> all = Transactions(c.run.log);
  std::vector<uint32_t> erased;
  std::vector<uint32_t> programmed;
  size_t failing_read = all.size();
  for (size_t i = 0; i < all.size(); ++i) {
    const FlashTransaction& t = all[i];
    if (!t.opcode || !t.HasAddress()) {
      continue;
    }
    EXPECT_LE(t.Address(), f.block * kBlock) << f.name << ": a later block was touched";
    if (*t.opcode == 0xD7) {
      erased.push_back(t.Address());
    } else if (*t.opcode == 0xAD) {
      programmed.push_back(t.Address());
    } else if (*t.opcode == 0x0B) {
      failing_read = i;
    }
  }
  const uint32_t blocks_programmed = f.blank_check ? f.block : f.block + 1;
  ASSERT_EQ(erased.size(), f.block + 1) << f.name;
  ASSERT_EQ(programmed.size(), blocks_programmed) << f.name;
  for (uint32_t b = 0; b <= f.block; ++b) {
    EXPECT_EQ(erased[b], b * kBlock) << f.name;
    if (b < blocks_programmed) {
      EXPECT_EQ(programmed[b], b * kBlock) << f.name;
    }
  }
  // The failing read stops at the wrong byte; only a status poll follows it.
  ASSERT_LT(failing_read, all.size()) << f.name;
  const FlashTransaction& read = all[failing_read];
  EXPECT_EQ(read.Address(), f.block * kBlock) << f.name;
  ASSERT_EQ(read.read.size(), f.byte + 1) << f.name;
  EXPECT_EQ(read.read.back(), wrong_byte) << f.name;
  ASSERT_EQ(all.size(), failing_read + 2) << f.name;
  EXPECT_EQ(all.back().opcode, 0x05) << f.name;

  // The flash itself: earlier blocks hold the image, later ones the old
  // firmware; the failing block what the fault left.
  const std::vector<uint8_t>& flash = c.run.flash_after;
  const std::vector<uint8_t>& image = s.platform.ec_image;
  const std::vector<uint8_t>& old = s.platform.flash_before;
  const auto block_begin = [](uint32_t b) { return static_cast<ptrdiff_t>(b * kBlock); };
  EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + block_begin(f.block), image.begin()));
  EXPECT_TRUE(std::equal(flash.begin() + block_begin(f.block + 1), flash.end(),
                         old.begin() + block_begin(f.block + 1)))
      << f.name << ": a later block changed";
  for (uint32_t i = f.block * kBlock; i < (f.block + 1) * kBlock; ++i) {
    const uint8_t want = i == address ? wrong_byte : f.blank_check ? 0xFF : image[i];
    ASSERT_EQ(flash[i], want) << f.name << " at " << i;
  }
}

std::vector<BlockFault> BlockFaultCases() {
  std::vector<BlockFault> cases;
  for (bool blank : {true, false}) {
    for (uint32_t block : {0u, 64u, 127u}) {
      for (uint32_t byte : {0u, 0x200u, 0x3FFu}) {
        cases.push_back({std::string(blank ? "blank check" : "verify") + " block " +
                             std::to_string(block) + " byte " + Hex(byte >> 8) + Hex(byte & 0xFF),
                         blank, block, byte});
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Matrix, BlockFaults, testing::ValuesIn(BlockFaultCases()),
                         ParamName<BlockFault>);

// ---------------------------------------------------------------------------
// Busy bits held for many reads at every kind of wait. The port sequence is
// then judged by the form of every wait and by the accesses between waits.

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
    for (const FlashTransaction& t : Transactions(c.run.log)) {
      if (t.opcode == 0x05) {
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

// ---------------------------------------------------------------------------
// An EC or flash that never becomes ready: the driver spins at that wait
// until the test stops it.

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
    const bool poll = a == Out(kCommandPort, 0x04) || (IsEcRead(a) && (a.value & 0x01) != 0);
    if (!(wait || (c.flash_poll && poll))) {
      fault("the tail holds " + sim::Describe(a));
      break;
    }
    if (!c.flash_poll && IsProgress(a) && a.value != c.progress) {
      fault("progress code " + Hex(a.value) + " while spinning");
      break;
    }
    if (!c.flash_poll && IsStatusRead(a)) {
      const bool ready = c.progress == kWaitInput ? (a.value & kIbf) == 0 : (a.value & kObf) != 0;
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
    const std::vector<FlashTransaction> all = Transactions(run.log);
    if (all.empty() || all.back().opcode != 0x05 || all.back().read.size() < 1000) {
      fault("not spinning in a flash status poll");
    } else if (c.before_opcode) {
      if (all.size() < 2 || all[all.size() - 2].opcode != c.before_opcode) {
        fault("the poll does not follow opcode " + Hex(*c.before_opcode));
      }
    } else if (all.size() != 1) {
      fault("the poll is not the first flash transaction");
    }
  }
  for (const PortAccess& a : run.log) {
    if (a == Out(kCommandPort, 0xFE) || a.port == 0xCF9) {
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
       std::nullopt, 0xD7},
      {"flash busy for good after the first program",
       flash([](sim::FlashConfig& f) { f.busy_reads_after_program = UINT_MAX; }), true, 0,
       std::nullopt, 0xAD},
      {"EC never takes a byte after 0xDC",
       ec([](sim::EcConfig& e) { e.ibf_busy_reads = UINT_MAX; }), false, kWaitInput,
       In(kDataPort, 0x33), std::nullopt},
      {"EC never answers 0xDC", ec([](sim::EcConfig& e) { e.obf_delay_reads = UINT_MAX; }), false,
       kWaitOutput, Out(kCommandPort, 0xDC), std::nullopt},
      {"EC busy for good at power-on",
       ec([](sim::EcConfig& e) { e.busy_at_start_reads = UINT_MAX; }), false, kWaitInput,
       std::nullopt, std::nullopt},
      {"guard, EC never takes the threshold",
       guard([](sim::EcConfig& e) { e.ibf_busy_reads = UINT_MAX; }), false, kWaitInput,
       Out(kCommandPort, 0xAA), std::nullopt},
      {"guard, EC never answers the read",
       guard([](sim::EcConfig& e) { e.obf_delay_reads = UINT_MAX; }), false, kWaitOutput,
       Out(kDataPort, 0x93), std::nullopt},
  };
}

INSTANTIATE_TEST_SUITE_P(Matrix, NeverReady, testing::ValuesIn(SpinCases()), ParamName<SpinCase>);

// ---------------------------------------------------------------------------
// Keys during the five-second prompt.

struct KeyCase {
  std::string name;
  std::vector<sim::KeyStroke> keys;
  int skip_poll;          // the poll (1..50) that takes the Q; 0: the update goes ahead
  bool healthy_ec = true; // a proceed runs the whole update; else it ends at the handshake
};

// Keys other than Q: letters, Enter, Escape, a digit, characters whose low
// byte or shape is q's, and a cursor key (no character, a scan code).
std::vector<sim::KeyStroke> Others(size_t count, uint64_t at_us = 0) {
  const char16_t kinds[] = {u'a', u'\r', u'x', 0x1B, u'1', u'w', 0x0171, 0xFF51, u'k', 0};
  std::vector<sim::KeyStroke> keys;
  for (size_t i = 0; i < count; ++i) {
    const char16_t c = kinds[i % std::size(kinds)];
    keys.push_back({at_us, c, static_cast<uint16_t>(c == 0 ? 0x01 : 0)});
  }
  return keys;
}

std::vector<sim::KeyStroke> Then(std::vector<sim::KeyStroke> keys, sim::KeyStroke last) {
  keys.push_back(last);
  return keys;
}

std::vector<KeyCase> KeyCases() {
  return {
      {"q queued before the prompt", {{0, u'q'}}, 1},
      {"Q queued before the prompt", {{0, u'Q'}}, 1},
      {"q at the first poll", {{kPollUs, u'q'}}, 1},
      {"Q at the first poll", {{kPollUs, u'Q'}}, 1},
      {"q between polls 2 and 3", {{250000, u'q'}}, 3},
      {"q at the 50th poll", {{50 * kPollUs, u'q'}}, 50},
      {"Q at the 50th poll", {{50 * kPollUs, u'Q'}}, 50},
      {"q 1 us after the 50th poll", {{50 * kPollUs + 1, u'q'}}, 0},
      {"q at 5 s plus one poll", {{51 * kPollUs, u'q'}}, 0},
      {"Q at 5 s plus one poll", {{51 * kPollUs, u'Q'}}, 0, false},
      {"q with a scan code", {{0, u'q', 0x17}}, 1},
      {"1 other key then q", Then(Others(1), {0, u'q'}), 2},
      {"10 other keys then Q", Then(Others(10), {0, u'Q'}), 11},
      {"49 other keys then q", Then(Others(49), {0, u'q'}), 50},
      {"50 other keys then q", Then(Others(50), {0, u'q'}), 0, false},
      {"80 other keys then Q", Then(Others(80), {0, u'Q'}), 0, false},
      {"80 other keys", Others(80), 0, false},
      {"other key and q both at the 50th poll", Then(Others(1, 50 * kPollUs), {50 * kPollUs, u'q'}),
       0, false},
      {"look-alikes of q", {{0, 0x0171}, {0, 0xFF51}, {0, 0x0151}, {0, u'Q' | 0x100}}, 0, false},
      {"no key", {}, 0},
  };
}

class Keys : public testing::TestWithParam<KeyCase> {};

TEST_P(Keys, SkipOnlyOnQWithinFiftyPolls) {
  const KeyCase& k = GetParam();
  sim::Scenario s = Update(k.name);
  s.keys = k.keys;
  if (!k.healthy_ec) {
    s.platform.ec.replies_before_ready = -1;
  }
  const Case c = RunCase(s);
  const sim::Ending want = k.skip_poll != 0 ? sim::Ending::Skipped
                           : k.healthy_ec   ? sim::Ending::Updated
                                            : sim::Ending::InitFailed;
  EXPECT_EQ(c.expected.ending, want) << k.name;
  if (k.skip_poll != 0) {
    EXPECT_EQ(c.run.virtual_us, static_cast<uint64_t>(k.skip_poll) * kPollUs + 2000000) << k.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Matrix, Keys, testing::ValuesIn(KeyCases()), ParamName<KeyCase>);

// ---------------------------------------------------------------------------
// The guard's enable byte: zero is off, any other value on.

class GuardEnable : public testing::TestWithParam<int> {};

TEST_P(GuardEnable, AnyNonZeroValueRunsTheCheck) {
  const auto enable = static_cast<uint8_t>(GetParam());
  const std::pair<uint8_t, uint8_t> pairs[] = {{0x80, 0x7F}, {0x80, 0x80}, {0x00, 0x00},
                                               {0xFF, 0xFE}, {0x01, 0x00}, {0x7F, 0xFF}};
  for (const auto& [threshold, reading] : pairs) {
    const Case c = RunCase(Guard("enable " + Hex(enable) + ", threshold " + Hex(threshold) +
                                     ", reading " + Hex(reading),
                                 enable, threshold, reading));
    const sim::Ending want = enable == 0           ? sim::Ending::GuardNotRun
                             : reading < threshold ? sim::Ending::GuardPoweredOff
                                                   : sim::Ending::GuardPassed;
    EXPECT_EQ(c.expected.ending, want);
  }
}

INSTANTIATE_TEST_SUITE_P(Matrix, GuardEnable, testing::Values(0x00, 0x01, 0x80, 0xFF),
                         [](const testing::TestParamInfo<int>& info) {
                           return "enable_" + Hex(static_cast<unsigned>(info.param));
                         });

} // namespace
