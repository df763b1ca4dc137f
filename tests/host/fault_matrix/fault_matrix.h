// SPDX-License-Identifier: BSD-2-Clause-Patent
// Support shared by the fault matrix's test files: the inputs and faults the
// drivers can meet on the simulated platform, in groups, every case judged
// against what the protocol description makes of it (console, port sequence,
// Setup, EC flash, ending). Every case is counted here, and the run closes
// with the reliability figures: how many cases ran, in how many the Setup
// bytes that must be kept were kept, and in how many the drivers ended the
// way the protocol says. The files link into one executable so that those
// figures count the whole run.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/ec_protocol.h"
#include "sim/expectation.h"
#include "sim/port_log.h"
#include "sim/scenario.h"
#include "sim/traffic_decoder.h"

namespace fault_matrix {

inline constexpr uint32_t kBlock = sim::kEcBlockSize;

// ---------------------------------------------------------------------------
// Reliability figures, counted case by case under the running test's group.

void Count(const std::string& ending, bool setup_kept, bool ended_right);

// Every byte but the request byte, and the attributes, exactly as before; an
// absent variable stays absent.
bool SetupKept(const sim::Scenario& s, const std::optional<sim::Variable>& after);

// ---------------------------------------------------------------------------
// Judging a port log's waits and status polls, read through the host's one
// decoder (sim/traffic_decoder.h: IsStatusRead, IsProgress, IsEcWrite,
// IsEcRead and FlashTransactions are found there by argument lookup).

using sim::FlashTransaction;

// The EC handshake's waits: every byte written to 0x62/0x66 follows status
// reads each with progress 0xEB, the last showing IBF clear and every earlier
// one IBF set; every byte read from 0x62 likewise with 0xEC and OBF set. A
// wait left open at the end of the log is a run stopped while it spun.
// Returns the first fault, or empty.
std::string WaitFaults(const sim::PortLog& log);

// The log without its status reads and progress codes.
sim::PortLog WithoutWaits(const sim::PortLog& log);

// Folds each flash status poll (a read-status transaction read again and
// again) down to its last read. The reads folded away must show the flash
// not yet done: busy, or after a write enable the latch not yet set with the
// flash idle, after a write disable the latch still set.
sim::PortLog FoldStatusPolls(const sim::PortLog& log, std::string* fault);

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

// Every way the run differs from the expectation.
std::vector<std::string> Judge(const sim::Scenario& s, sim::Expectation expected,
                               const sim::RunRecord& run, Timing timing);

// Counts the case and fails the running test for each of its faults.
void Report(const Case& c);

// Runs, judges and reports one scenario.
Case RunCase(sim::Scenario s, Timing timing = Timing::NeverBusy);

// The catalogue's update scenario (request 1, random image, other old
// firmware in the flash), built once and copied under the given name.
sim::Scenario Update(std::string name);

sim::Scenario Guard(std::string name, uint8_t enable, uint8_t threshold, uint8_t reading);

// ---------------------------------------------------------------------------
// Parameters print as their names in test listings and failures. gtest finds
// PrintTo through the parameter's namespace: a test file whose parameter
// types live in its anonymous namespace brings it in with a using-declaration.

template <typename T>
concept Named = requires(const T& t) {
  t.name;
};
template <Named T> void PrintTo(const T& param, std::ostream* os) {
  *os << param.name;
}

std::string Identifier(std::string name);

template <typename T> std::string ParamName(const testing::TestParamInfo<T>& info) {
  return Identifier(info.param.name);
}

// The two digits of sim::HexByte without its 0x. Test names built from them
// stay as they have always been listed, so filters and result history match.
std::string HexDigits(unsigned byte);

// ---------------------------------------------------------------------------
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

const char* OutcomeName(Outcome o);
std::string OutcomeParamName(const testing::TestParamInfo<Outcome>& info);
void Arrange(sim::Scenario& s, Outcome o);

// A Setup of the given size in the usual pattern, with the request, the
// guard's enable and its threshold set wherever the size reaches them.
std::vector<uint8_t> SetupOfSize(size_t size);

} // namespace fault_matrix
