// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/trace_classifier.h"

#include <array>

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

using sim::Token;

const char* FlashReplyName(const sim::FlashTransaction& t) {
  return t.opcode == sim::kFlashReadStatus ? "flash status"
         : t.opcode == sim::kFlashReadId   ? "id byte"
         : t.opcode == sim::kFlashFastRead ? "flash byte"
                                           : "reply";
}

struct Naming {
  AccessKind kind;
  const char* detail; // null: named by the opcode
};

// Indexed by sim::Token, in its order. The reset write commands the chipset.
constexpr std::array<Naming, static_cast<size_t>(Token::OtherPort) + 1> kNamings = {{
    {AccessKind::StatusRead, "EC status"},
    {AccessKind::ProgressCode, "waiting to write"},
    {AccessKind::ProgressCode, "waiting for a reply"},
    {AccessKind::ProgressCode, "progress"},
    {AccessKind::Command, "enter pass-through"},
    {AccessKind::Command, "leave pass-through"},
    {AccessKind::Command, "threshold command"},
    {AccessKind::Command, "ACPI EC read"},
    {AccessKind::Command, "unknown command"},
    {AccessKind::Command, "select"},
    {AccessKind::Command, "send opcode"},
    {AccessKind::Command, "send byte"},
    {AccessKind::Command, "read byte"},
    {AccessKind::Command, "deselect"},
    {AccessKind::Command, "unknown pass-through command"},
    {AccessKind::Data, nullptr},
    {AccessKind::Data, "address byte"},
    {AccessKind::Data, "dummy byte"},
    {AccessKind::Data, "data byte"},
    {AccessKind::Reply, "ready"},
    {AccessKind::Reply, "not ready"},
    {AccessKind::Reply, "register value"},
    {AccessKind::Reply, nullptr},
    {AccessKind::Data, "data byte"},
    {AccessKind::Command, "reset"},
    {AccessKind::Data, "other port"},
}};

TracedAccess Named(Token token, const sim::PortAccess& access, const sim::FlashTransaction& t) {
  const Naming& naming = kNamings[static_cast<size_t>(token)];
  TracedAccess named;
  named.access = access;
  named.kind = naming.kind;
  named.detail = naming.detail != nullptr ? naming.detail
                 : token == Token::Opcode ? OpcodeName(access.value)
                                          : FlashReplyName(t);
  return named;
}

// The step a command outside pass-through mode begins, if any.
std::optional<StepKind> StepOpenedBy(Token token) {
  switch (token) {
  case Token::EnterPassThrough:
    return StepKind::Handshake;
  case Token::LeavePassThrough:
    return StepKind::Finish;
  case Token::GuardThreshold:
    return StepKind::GuardThreshold;
  case Token::AcpiRead:
    return StepKind::RegisterRead;
  case Token::ResetWrite:
    return StepKind::Restart;
  default:
    return std::nullopt;
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
  const Token token = decoder_.See(access);
  const sim::FlashTransaction& transaction = decoder_.transaction();
  TracedAccess record = Named(token, access, transaction);
  record.index = index;
  record.time_ns = time_ns;
  switch (token) {
  case Token::StatusRead:
  case Token::WaitToWrite:
  case Token::WaitForReply:
  case Token::OtherProgress:
    waits_.push_back(record);
    return;
  case Token::EnterPassThrough:
  case Token::LeavePassThrough:
  case Token::GuardThreshold:
  case Token::AcpiRead:
  case Token::UnknownCommand:
  case Token::ResetWrite:
    Release(); // a command of its own starts a step of its own
    if (const std::optional<StepKind> step = StepOpenedBy(token)) {
      step_ = {*step};
    }
    break;
  case Token::Select:
    holding_ = true; // until the opcode tells the step
    transaction_start_ = held_.size();
    break;
  case Token::Ready: // from here on the flash is reached, first to identify it
    Place(record);
    step_ = {StepKind::Identification};
    return;
  default:
    break;
  }
  Place(record);
  if (token == Token::Opcode) {
    Opcode(access.value, transaction);
  } else if (token == Token::AddressByte && transaction.sent.size() == sim::kFlashAddressBytes &&
             holding_) {
    AddressKnown(transaction);
  }
}

void TraceClassifier::Opcode(uint8_t opcode, const sim::FlashTransaction& t) {
  if (after_write_enable_) {
    return; // the erase or program it enables tells the step
  }
  switch (opcode) {
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
    if (t.continues_program) {
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

void TraceClassifier::AddressKnown(const sim::FlashTransaction& t) {
  const int block = static_cast<int>(t.Address() / sim::kEcBlockSize);
  switch (*t.opcode) {
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

void TraceClassifier::Place(const TracedAccess& r) {
  waits_.push_back(r);
  if (holding_) {
    held_.insert(held_.end(), waits_.begin(), waits_.end());
  } else {
    for (const TracedAccess& wait : waits_) {
      Emit(wait);
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
  for (const TracedAccess& wait : waits_) {
    Emit(wait);
  }
  waits_.clear();
}

} // namespace ec_run
