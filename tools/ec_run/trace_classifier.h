// SPDX-License-Identifier: BSD-2-Clause-Patent
// Names every port access of a run by what it is in the EC protocol and by the
// update step it belongs to, reading the traffic through the host's one
// decoder (sim/traffic_decoder.h). It knows nothing of the driver code.
//
// Steps, as the traffic shows them: identification from the EC's ready reply
// to the flash's id; a block's erase from the write enable (with the status
// poll that opens it) before its erase command, its program likewise before
// the first word program, its blank check and verify from the fast reads; the
// other status polls and write disables stay with the step they follow. The
// step of a flash transaction is known only once its opcode (for erase, read
// and the first program: its address) has gone by, so records come out in
// order but up to a few transactions late.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/port_log.h"
#include "sim/traffic_decoder.h"

namespace ec_run {

enum class AccessKind : uint8_t { StatusRead, ProgressCode, Command, Data, Reply };

enum class StepKind : uint8_t {
  None, // before any command
  Handshake,
  Identification,
  Erase,
  BlankCheck,
  Program,
  Verify,
  FlashRead, // a fast read after neither an erase nor a program
  Finish,
  Restart,
  GuardThreshold,
  RegisterRead,
};

struct Step {
  StepKind kind = StepKind::None;
  int block = -1; // the EC flash block of an erase, read or program step
};

struct TracedAccess {
  uint64_t index = 0;
  uint64_t time_ns = 0;
  sim::PortAccess access{};
  AccessKind kind = AccessKind::Command;
  Step step;
  const char* detail = "";
};

const char* AccessKindName(AccessKind kind);
// "handshake", "block 3 blank check", ...
std::string StepName(const Step& step);

class TraceClassifier {
public:
  explicit TraceClassifier(std::function<void(const TracedAccess&)> sink)
      : sink_(std::move(sink)) {}

  void See(uint64_t index, uint64_t time_ns, const sim::PortAccess& access);
  // Hands on whatever still waits for its step.
  void Finish();

private:
  void Opcode(uint8_t opcode, const sim::FlashTransaction& t);
  void AddressKnown(const sim::FlashTransaction& t);
  // The record ends a unit: the waits before it and the byte itself.
  void Place(const TracedAccess& r);
  // Hands on the held records (or the first `count`) as of the current step.
  void Release();
  void ReleaseFirst(size_t count);
  void Emit(TracedAccess r) const;

  std::function<void(const TracedAccess&)> sink_;
  sim::TrafficDecoder decoder_;
  Step step_;
  std::vector<TracedAccess> waits_; // status reads and progress codes before a byte
  std::vector<TracedAccess> held_;  // records whose step is not known yet
  bool holding_ = false;
  size_t transaction_start_ = 0;    // where the open transaction starts in held_
  bool after_write_enable_ = false; // held until the erase or program it enables
};

} // namespace ec_run
