// SPDX-License-Identifier: BSD-2-Clause-Patent
// What a scenario must produce, derived from the protocol description, and
// the comparison of a run against it. The same checks judge the host-built
// drivers and the real images.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/fake_firmware.h"
#include "sim/port_log.h"
#include "sim/protocol_trace.h"
#include "sim/scenario.h"

namespace sim {

enum class Ending {
  NoRequest,
  Skipped,
  Updated,
  InitFailed,
  UpdateFailed,
  GuardPassed,
  GuardPoweredOff,
  GuardNotRun,
};
const char* EndingName(Ending ending);

struct ConsoleRow {
  uint64_t row;
  std::u16string text;
};

struct Expectation {
  Ending ending = Ending::NoRequest;
  EFI_STATUS entry_status = EFI_SUCCESS;
  std::vector<ConsoleRow> rows;
  std::optional<std::vector<uint8_t>> setup_after;
  PortLog trace;
  bool restart = false;
  bool power_off = false;
  uint64_t virtual_us = 0;
  std::vector<uint8_t> flash_after;
  unsigned blocks_verified = 0;
};

Expectation Expect(const Scenario& scenario);

// The port sequence of the catalogue's full update, with an EC and flash that
// are never busy, as Expect derives it: the one source of a full update's
// count of accesses, by kind, for the tools and the tests.
PortLog FullUpdateTrace();

// How long the scenario's EC and flash hold each wait.
WaitTiming TimingOf(const PlatformConfig& platform);

// The scenario's port sequence with every wait stretched by `timing` as the
// EC and flash models stretch it, handed on access by access: the count a
// busy run must make, derived from the protocol, not from a run.
void StreamTrace(const Scenario& scenario, const WaitTiming& timing,
                 const std::function<void(const PortAccess&)>& sink);
// The same, with the scenario's own timing, kept whole (short runs only).
PortLog TimedTrace(const Scenario& scenario);

// What one run of a driver on the simulated platform produced.
struct RunRecord {
  EFI_STATUS entry_status = EFI_SUCCESS;
  std::vector<ConsoleOutput> console;
  PortLog log;
  uint64_t accesses = 0;
  std::optional<Variable> setup_after;
  std::vector<uint8_t> flash_after;
  bool reset_port_written = false;
  std::optional<ResetRequest> reset_system;
  uint64_t virtual_us = 0;
  size_t open_events = 0;
  std::vector<std::string> violations;
  std::string stopped; // why the run was stopped early, if it was
};

// Every way the run differs from the expectation; empty when it matches.
std::vector<std::string> Check(const Scenario& scenario, const Expectation& expected,
                               const RunRecord& run);

// Where two port sequences first differ, with a little context; empty if equal.
std::string FirstDifference(const PortLog& expected, const PortLog& actual);

} // namespace sim
