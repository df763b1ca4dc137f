// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/trace_classifier.h"

#include "sim/ec_protocol.h"

namespace ec_run {

namespace {

const char* OpcodeName(uint8_t opcode) {
  switch (opcode) {
  case sim::kFlashReadId:
    return "opcode read id";
  case sim::kFlashWriteEnable:
    return "opcode write enable";
  case sim::kFlashWriteDisable:
    return "opcode write disable";
  case sim::kFlashReadStatus:
    return "opcode read status";
  case sim::kFlashErase1K:
    return "opcode erase 1 KiB";
  case sim::kFlashFastRead:
    return "opcode fast read";
  case sim::kFlashWordProgram:
    return "opcode word program";
  default:
    return "opcode (unknown)";
  }
}

} // namespace

const char* AccessKindName(AccessKind kind) {
  switch (kind) {
  case AccessKind::StatusRead:
    return "status read";
  case AccessKind::ProgressCode:
    return "progress code";
  case AccessKind::Command:
    return "command";
  case AccessKind::Data:
    return "data";
  case AccessKind::Reply:
    return "reply";
  }
  return "?";
}

std::string StepName(const Step& step) {
  const std::string block = "block " + std::to_string(step.block);
  switch (step.kind) {
  case StepKind::None:
    return "";
  case StepKind::Handshake:
    return "handshake";
  case StepKind::Identification:
    return "identification";
  case StepKind::Erase:
    return block + " erase";
  case StepKind::BlankCheck:
    return block + " blank check";
  case StepKind::Program:
    return block + " program";
  case StepKind::Verify:
    return block + " verify";
  case StepKind::FlashRead:
    return block + " read";
  case StepKind::Finish:
    return "finish";
  case StepKind::Restart:
    return "restart";
  case StepKind::GuardThreshold:
    return "threshold";
  case StepKind::RegisterRead:
    return "register read";
  }
  return "?";
}

void TraceClassifier::See(uint64_t index, uint64_t time_ns, const sim::PortAccess& access) {
  TracedAccess r;
  r.index = index;
  r.time_ns = time_ns;
  r.access = access;
  const bool in = access.dir == sim::PortDir::In;
  if (access.port == sim::kEcCommandPort && in) {
    r.kind = AccessKind::StatusRead;
    r.detail = "EC status";
    waits_.push_back(r);
  } else if (access.port == sim::kPostCodePort && !in) {
    r.kind = AccessKind::ProgressCode;
    r.detail = access.value == sim::kProgressWaitInput    ? "waiting to write"
               : access.value == sim::kProgressWaitOutput ? "waiting for a reply"
                                                          : "progress";
    waits_.push_back(r);
  } else if (access.port == sim::kEcCommandPort) {
    CommandPortByte(r);
  } else if (access.port == sim::kEcDataPort && in) {
    Reply(r);
  } else if (access.port == sim::kResetControlPort && !in) {
    Release();
    step_ = {StepKind::Restart};
    r.detail = "reset";
    Place(r);
  } else {
    r.kind = AccessKind::Data;
    r.detail = access.port == sim::kEcDataPort ? "data byte" : "other port";
    Place(r);
  }
}

void TraceClassifier::CommandPortByte(TracedAccess& r) {
  const Next next = next_;
  next_ = Next::Command;
  switch (next) {
  case Next::Opcode:
    Opcode(r);
    return;
  case Next::FlashByte:
    FlashByte(r);
    return;
  case Next::Command:
    break;
  }
  r.kind = AccessKind::Command;
  if (mode_ == Mode::PassThrough) {
    PassThroughCommand(r);
  } else {
    NormalCommand(r);
  }
}

void TraceClassifier::PassThroughCommand(TracedAccess& r) {
  switch (r.access.value) {
  case sim::kPtSelect:
    r.detail = "select";
    opcode_.reset();
    sent_ = 0;
    holding_ = true; // until the opcode tells the step
    transaction_start_ = held_.size();
    break;
  case sim::kPtSendCommand:
    r.detail = "send opcode";
    next_ = Next::Opcode;
    break;
  case sim::kPtSendData:
    r.detail = "send byte";
    next_ = Next::FlashByte;
    break;
  case sim::kPtReadByte:
    r.detail = "read byte";
    break;
  case sim::kPtDeselect:
    r.detail = "deselect";
    break;
  case sim::kPtLeave: // back to the normal command set, which names it
    mode_ = Mode::Normal;
    NormalCommand(r);
    return;
  default:
    r.detail = "unknown pass-through command";
    break;
  }
  Place(r);
}

void TraceClassifier::NormalCommand(TracedAccess& r) {
  Release();
  switch (r.access.value) {
  case sim::kPtEnter:
    r.detail = "enter pass-through";
    mode_ = Mode::Handshake;
    step_ = {StepKind::Handshake};
    break;
  case sim::kPtLeave:
    r.detail = "leave pass-through";
    step_ = {StepKind::Finish};
    break;
  case sim::kGuardThreshold:
    r.detail = "threshold command";
    step_ = {StepKind::GuardThreshold};
    break;
  case sim::kAcpiRead:
    r.detail = "ACPI EC read";
    step_ = {StepKind::RegisterRead};
    break;
  default:
    r.detail = "unknown command";
    break;
  }
  Place(r);
}

void TraceClassifier::Opcode(TracedAccess& r) {
  r.kind = AccessKind::Data;
  r.detail = OpcodeName(r.access.value);
  opcode_ = r.access.value;
  sent_ = 0;
  // Only the first word program of a sequence carries an address; the
  // sequence lasts until a write disable.
  const bool further_program = r.access.value == sim::kFlashWordProgram && auto_increment_;
  with_address_ = r.access.value == sim::kFlashErase1K || r.access.value == sim::kFlashFastRead ||
                  (r.access.value == sim::kFlashWordProgram && !further_program);
  auto_increment_ = r.access.value == sim::kFlashWordProgram ||
                    (auto_increment_ && r.access.value != sim::kFlashWriteDisable);
  Place(r);
  if (after_write_enable_) {
    return; // the erase or program it enables tells the step
  }
  switch (r.access.value) {
  case sim::kFlashWriteEnable:
    after_write_enable_ = true; // with the status poll before it
    return;
  case sim::kFlashReadStatus:
    ReleaseFirst(transaction_start_); // this poll may precede a write enable
    return;
  case sim::kFlashReadId:
    step_ = {StepKind::Identification};
    Release();
    return;
  case sim::kFlashErase1K:
  case sim::kFlashFastRead:
  case sim::kFlashWordProgram:
    if (further_program) {
      Release(); // the next pair of the same block
    } else {
      ReleaseFirst(transaction_start_); // the address tells the block
    }
    return;
  default: // write disables belong to the step they follow
    Release();
    return;
  }
}

void TraceClassifier::FlashByte(TracedAccess& r) {
  r.kind = AccessKind::Data;
  ++sent_;
  const bool address = with_address_ && sent_ <= sim::kFlashAddressBytes;
  const bool dummy = opcode_ == sim::kFlashFastRead && sent_ == sim::kFlashAddressBytes + 1;
  r.detail = address ? "address byte" : dummy ? "dummy byte" : "data byte";
  if (address) {
    address_ = (sent_ == 1 ? 0 : address_ << 8) | r.access.value;
  }
  Place(r);
  if (!address || sent_ != sim::kFlashAddressBytes || !holding_) {
    return;
  }
  const int block = static_cast<int>(address_ / sim::kEcBlockSize);
  switch (*opcode_) {
  case sim::kFlashErase1K:
    step_ = {StepKind::Erase, block};
    break;
  case sim::kFlashWordProgram:
    step_ = {StepKind::Program, block};
    break;
  default:
    step_ = {step_.kind == StepKind::Erase     ? StepKind::BlankCheck
             : step_.kind == StepKind::Program ? StepKind::Verify
                                               : StepKind::FlashRead,
             block};
    break;
  }
  Release();
}

void TraceClassifier::Reply(TracedAccess& r) {
  r.kind = AccessKind::Reply;
  if (mode_ == Mode::Handshake) {
    const bool ready = r.access.value == sim::kPtReady;
    r.detail = ready ? "ready" : "not ready";
    Place(r);
    if (ready) { // from here on the flash is reached, first to identify it
      mode_ = Mode::PassThrough;
      step_ = {StepKind::Identification};
    }
    return;
  } else if (mode_ == Mode::Normal) {
    r.detail = "register value";
  } else {
    r.detail = opcode_ == sim::kFlashReadStatus ? "flash status"
               : opcode_ == sim::kFlashReadId   ? "id byte"
               : opcode_ == sim::kFlashFastRead ? "flash byte"
                                                : "reply";
  }
  Place(r);
}

void TraceClassifier::Place(const TracedAccess& r) {
  waits_.push_back(r);
  if (holding_) {
    held_.insert(held_.end(), waits_.begin(), waits_.end());
  } else {
    for (const TracedAccess& w : waits_) {
      Emit(w);
    }
  }
  waits_.clear();
}

void TraceClassifier::ReleaseFirst(size_t count) {
  for (size_t i = 0; i < count; ++i) {
    Emit(held_[i]);
  }
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
  transaction_start_ = 0;
}

void TraceClassifier::Release() {
  ReleaseFirst(held_.size());
  holding_ = false;
  after_write_enable_ = false;
}

void TraceClassifier::Emit(TracedAccess r) const {
  r.step = step_;
  sink_(r);
}

void TraceClassifier::Finish() {
  Release();
  for (const TracedAccess& w : waits_) {
    Emit(w);
  }
  waits_.clear();
}

} // namespace ec_run
