// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/traffic_decoder.h"

namespace sim {

PortRole RoleOf(const PortAccess& access) {
  const bool in = access.dir == PortDir::In;
  switch (access.port) {
  case kEcCommandPort:
    return in ? PortRole::StatusRead : PortRole::CommandWrite;
  case kEcDataPort:
    return in ? PortRole::DataRead : PortRole::DataWrite;
  case kPostCodePort:
    return in ? PortRole::Other : PortRole::ProgressWrite;
  default:
    return PortRole::Other;
  }
}

Token TrafficDecoder::See(const PortAccess& access) {
  switch (RoleOf(access)) {
  case PortRole::StatusRead:
    return Token::StatusRead;
  case PortRole::ProgressWrite:
    return access.value == kProgressWaitInput    ? Token::WaitToWrite
           : access.value == kProgressWaitOutput ? Token::WaitForReply
                                                 : Token::OtherProgress;
  case PortRole::CommandWrite:
    return CommandByte(access.value);
  case PortRole::DataRead:
    return Reply(access.value);
  case PortRole::DataWrite:
    return Token::DataByte;
  case PortRole::Other:
    break;
  }
  const bool reset = access.port == kResetControlPort && access.dir == PortDir::Out;
  return reset ? Token::ResetWrite : Token::OtherPort;
}

Token TrafficDecoder::CommandByte(uint8_t byte) {
  const Next next = next_;
  next_ = Next::Command;
  switch (next) {
  case Next::Opcode:
    return Opcode(byte);
  case Next::FlashByte:
    return FlashByte(byte);
  case Next::Command:
    break;
  }
  return mode_ == Mode::PassThrough ? PassThroughCommand(byte) : NormalCommand(byte);
}

Token TrafficDecoder::NormalCommand(uint8_t byte) {
  open_ = false;
  switch (byte) {
  case kPtEnter:
    mode_ = Mode::Handshake;
    return Token::EnterPassThrough;
  case kPtLeave: // also ends a handshake that never saw the EC ready
    mode_ = Mode::Normal;
    return Token::LeavePassThrough;
  case kGuardThreshold:
    return Token::GuardThreshold;
  case kAcpiRead:
    return Token::AcpiRead;
  default:
    return Token::UnknownCommand;
  }
}

Token TrafficDecoder::PassThroughCommand(uint8_t byte) {
  switch (byte) {
  case kPtSelect:
    open_ = true;
    transaction_ = {};
    return Token::Select;
  case kPtSendCommand:
    next_ = Next::Opcode;
    return Token::SendOpcode;
  case kPtSendData:
    next_ = Next::FlashByte;
    return Token::SendByte;
  case kPtReadByte:
    return Token::ReadByte;
  case kPtDeselect:
    open_ = false;
    return Token::Deselect;
  case kPtLeave:
    return NormalCommand(byte);
  default:
    open_ = false;
    return Token::UnknownPassThroughCommand;
  }
}

Token TrafficDecoder::Opcode(uint8_t byte) {
  previous_opcode_ = last_opcode_;
  last_opcode_ = byte;
  // Only the first word program of a sequence carries an address; the
  // sequence lasts until a write disable.
  const bool continues = byte == kFlashWordProgram && program_sequence_;
  program_sequence_ =
      byte == kFlashWordProgram || (program_sequence_ && byte != kFlashWriteDisable);
  transaction_.opcode = byte;
  transaction_.continues_program = continues;
  transaction_.addressed =
      byte == kFlashErase1K || byte == kFlashFastRead || (byte == kFlashWordProgram && !continues);
  transaction_.sent.clear();
  return Token::Opcode;
}

Token TrafficDecoder::FlashByte(uint8_t byte) {
  transaction_.sent.push_back(byte);
  const size_t sent = transaction_.sent.size();
  if (transaction_.addressed && sent <= kFlashAddressBytes) {
    return Token::AddressByte;
  }
  if (transaction_.opcode == kFlashFastRead && sent == kFlashAddressBytes + 1) {
    return Token::DummyByte;
  }
  return Token::FlashDataByte;
}

Token TrafficDecoder::Reply(uint8_t byte) {
  switch (mode_) {
  case Mode::Handshake:
    if (byte != kPtReady) {
      return Token::NotReady;
    }
    mode_ = Mode::PassThrough;
    return Token::Ready;
  case Mode::Normal:
    return Token::RegisterValue;
  case Mode::PassThrough:
    break;
  }
  if (open_) {
    transaction_.read.push_back(byte);
  }
  return Token::FlashReply;
}

std::vector<FlashTransaction> FlashTransactions(const PortLog& log) {
  std::vector<FlashTransaction> all;
  TrafficDecoder decoder;
  for (const PortAccess& access : log) {
    const Token token = decoder.See(access);
    if (token == Token::Select) {
      all.emplace_back();
    }
    if (!decoder.in_transaction()) {
      continue;
    }
    switch (token) {
    case Token::Opcode:
      all.back() = decoder.transaction();
      break;
    case Token::AddressByte:
    case Token::DummyByte:
    case Token::FlashDataByte:
      all.back().sent.push_back(access.value);
      break;
    case Token::FlashReply:
      all.back().read.push_back(access.value);
      break;
    default:
      break;
    }
  }
  return all;
}

} // namespace sim
