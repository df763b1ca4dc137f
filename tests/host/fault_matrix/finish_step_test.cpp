// SPDX-License-Identifier: BSD-2-Clause-Patent
// The update's finish step on its own: it reads Setup again, so it can meet
// a request value other than 1 or a read that fails although the first one
// succeeded.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/setup_data.h"
#include "sim/hex_text.h"
#include "sim/native_runner.h"
#include "sim/protocol_trace.h"
#include "tests/host/fault_matrix/fault_matrix.h"
#include "updater/updater.h"

namespace fault_matrix {
namespace {

using sim::PortLog;

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
  trace.Command(sim::kPtLeave);
  return trace.log();
}

// Judges one finish step: the leave command sent and nothing else on the ports; the
// request cleared exactly when readable and non-zero, written back with the
// size and attributes the read returned; everything else kept.
void JudgeFinish(const std::string& name, const sim::Scenario& s, const FinishRun& run,
                 bool clears) {
  std::vector<std::string> faults;
  if (run.log != LeaveOnly()) {
    faults.push_back("ports: " + sim::FirstDifference(LeaveOnly(), run.log));
  }
  std::vector<std::string> calls = {"GetVariable(size=" + std::to_string(sim::kSetupSize) + ")"};
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
      faults.push_back("request byte is " + sim::HexByte(run.setup->data[sim::kRequestByte]) +
                       ", expected " + sim::HexByte(want));
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
    sim::Scenario s = Update("finish, request " + sim::HexByte(value));
    (*s.setup)[sim::kRequestByte] = static_cast<uint8_t>(value);
    JudgeFinish(s.name, s, Finish(s.setup, s.setup_attributes), value != 0);
  }
}

TEST(FinishStep, WritesBackTheSizeAndAttributesItRead) {
  for (size_t size : {sim::kRequestByte, sim::kRequestByte + 1, sim::kGuardEnableByte,
                      sim::kGuardThresholdByte, sim::kSetupSize}) {
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
  constexpr size_t kTooLarge = sim::kSetupSize + 1;
  sim::Scenario large = Update("finish, Setup of " + std::to_string(kTooLarge) + " bytes");
  large.setup = SetupOfSize(kTooLarge);
  JudgeFinish(large.name, large, Finish(large.setup, large.setup_attributes), false);
}

} // namespace
} // namespace fault_matrix
