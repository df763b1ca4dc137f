// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/ec_model.h"

#include "sim/ec_protocol.h"
#include "sim/hex_text.h"

namespace sim {

EcModel::EcModel(EcConfig config, SpiFlash& flash) : config_(config), flash_(flash) {
  ibf_ = config_.busy_at_start_reads > 0;
  ibf_reads_left_ = ibf_ ? config_.busy_at_start_reads - 1 : 0;
  starting_ = ibf_;
}

void EcModel::Violation(std::string what) {
  violations_.push_back(std::move(what));
}

void EcModel::PlatformReset() {
  if (!starting_) { // the EC's own start-up after power-on is not cut short by the host's reset
    ibf_ = false;
    ibf_reads_left_ = 0;
  }
  replies_.clear();
  handshake_reply_queued_ = false;
  obf_reads_left_ = 0;
  pending_ = Pending::None;
  not_ready_left_ = 0;
  mode_ = Mode::Normal;
  burst_ = false;
  flash_.PlatformReset();
}

uint8_t EcModel::ReadStatus() {
  const bool obf = !replies_.empty() && obf_reads_left_ == 0;
  const uint8_t status = static_cast<uint8_t>((obf ? kStatusObf : 0) | (ibf_ ? kStatusIbf : 0) |
                                              (burst_ ? kStatusBurst : 0));
  if (ibf_ && ibf_reads_left_-- == 0) {
    ibf_ = false;
    starting_ = false;
  }
  if (!replies_.empty() && obf_reads_left_ > 0) {
    --obf_reads_left_;
  }
  return status;
}

// A byte written is taken by the EC after the configured number of status
// reads; until then IBF shows, and a second byte would overrun the first.
void EcModel::AcceptByte() {
  if (ibf_) {
    Violation("byte written while IBF was set");
  }
  ibf_ = config_.ibf_busy_reads > 0;
  ibf_reads_left_ = config_.ibf_busy_reads > 0 ? config_.ibf_busy_reads - 1 : 0;
  starting_ = false;
}

void EcModel::QueueReply(uint8_t value) {
  if (replies_.empty()) {
    obf_reads_left_ = config_.obf_delay_reads;
  }
  replies_.push_back(value);
}

uint8_t EcModel::ReadData() {
  if (replies_.empty() || obf_reads_left_ > 0) {
    Violation("data read while OBF was clear");
    return 0xFF;
  }
  const uint8_t value = replies_.front();
  replies_.pop_front();
  obf_reads_left_ = config_.obf_delay_reads;
  if (handshake_reply_queued_) { // it was the only reply queued, so the one read
    handshake_reply_queued_ = false;
    ++handshake_replies_;
  }
  if (mode_ == Mode::Handshake && replies_.empty()) {
    NextHandshakeReply();
  }
  return value;
}

// The EC keeps a reply to the pass-through request waiting until it is
// ready; the report counts the replies the host read, not the one it left.
void EcModel::NextHandshakeReply() {
  handshake_reply_queued_ = true;
  if (not_ready_left_ != 0) {
    if (not_ready_left_ > 0) {
      --not_ready_left_;
    }
    QueueReply(config_.not_ready_reply);
    return;
  }
  QueueReply(kPtReady);
  mode_ = Mode::PassThrough;
}

void EcModel::WriteCommand(uint8_t command) {
  AcceptByte();
  switch (pending_) {
  case Pending::FlashOpcode:
  case Pending::FlashData:
    pending_ = Pending::None;
    flash_.Send(command);
    return;
  case Pending::GuardThreshold:
  case Pending::ReadRegister:
  case Pending::WriteAddress:
  case Pending::WriteValue:
    Violation("command " + HexByte(command) + " while a data byte was expected");
    pending_ = Pending::None;
    break;
  case Pending::None:
    break;
  }
  if (mode_ == Mode::PassThrough) {
    PassThroughCommand(command);
  } else {
    NormalCommand(command);
  }
}

void EcModel::PassThroughCommand(uint8_t command) {
  switch (command) {
  case kPtSelect:
    flash_.Select();
    return;
  case kPtSendCommand:
    pending_ = Pending::FlashOpcode;
    return;
  case kPtSendData:
    pending_ = Pending::FlashData;
    return;
  case kPtReadByte:
    QueueReply(flash_.Read());
    return;
  case kPtDeselect:
    flash_.Deselect();
    return;
  case kPtLeave:
    flash_.Deselect();
    mode_ = Mode::Normal;
    return;
  default:
    Violation("unknown pass-through command " + HexByte(command));
    return;
  }
}

void EcModel::NormalCommand(uint8_t command) {
  switch (command) {
  case kPtEnter:
    mode_ = Mode::Handshake;
    not_ready_left_ = config_.replies_before_ready;
    replies_.clear();
    handshake_reply_queued_ = false;
    NextHandshakeReply();
    return;
  case kPtLeave: // leaving a mode never entered is harmless
    mode_ = Mode::Normal;
    return;
  case kGuardThreshold:
    pending_ = Pending::GuardThreshold;
    return;
  case kAcpiRead:
    pending_ = Pending::ReadRegister;
    return;
  case kAcpiWrite:
    pending_ = Pending::WriteAddress;
    return;
  case kAcpiBurstEnable:
    burst_ = true;
    QueueReply(kAcpiBurstAck);
    return;
  case kAcpiBurstDisable:
    burst_ = false;
    return;
  case kAcpiQuery:
    QueueReply(kAcpiNoEvent);
    return;
  default:
    Violation("unknown command " + HexByte(command));
    return;
  }
}

void EcModel::WriteData(uint8_t data) {
  AcceptByte();
  const Pending pending = pending_;
  pending_ = Pending::None;
  switch (pending) {
  case Pending::GuardThreshold:
    guard_threshold_ = data;
    return;
  case Pending::ReadRegister:
    QueueReply(config_.registers[data]);
    return;
  case Pending::WriteAddress:
    write_address_ = data;
    pending_ = Pending::WriteValue;
    return;
  case Pending::WriteValue:
    config_.registers[write_address_] = data;
    return;
  default:
    Violation("data byte " + HexByte(data) + " with no command expecting it");
    return;
  }
}

} // namespace sim
