// SPDX-License-Identifier: BSD-2-Clause-Patent
// The "Setup" variable as the drivers meet it: absent, every size around the
// bytes they use, read errors, what is kept after every ending, and writes
// that fail.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <exception>
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
  using sim::kGuardEnableByte, sim::kGuardThresholdByte, sim::kRequestByte, sim::kSetupSize;
  for (size_t size : {size_t{0}, kRequestByte, kRequestByte + 1, kGuardEnableByte,
                      kGuardThresholdByte, kGuardThresholdByte + 1, kSetupSize, kSetupSize + 1}) {
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
    cases.push_back({"read error " + name, kSetupSize, error});
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
    sim::Scenario s =
        Guard(GetParam().name + ", reading " + sim::HexByte(reading), 1, 0x80, reading);
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

} // namespace
} // namespace fault_matrix
