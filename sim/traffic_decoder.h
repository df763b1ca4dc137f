// SPDX-License-Identifier: BSD-2-Clause-Patent
// The host side's one reader of the port traffic, following it the way a bus
// analyser would: what each access is in the EC protocol (the ACPI EC waits,
// the normal commands, the pass-through handshake and commands) and, in
// pass-through mode, the flash transaction it relays (opcode, address, data,
// replies). It knows nothing of the driver code. The trace classifier, the
// progress watcher and the fault matrix read the traffic through it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/ec_protocol.h"
#include "sim/port_log.h"

namespace sim {

// What an access is by its port and direction alone.
enum class PortRole : uint8_t {
  CommandWrite,  // out 0x66
  DataWrite,     // out 0x62
  DataRead,      // in 0x62
  StatusRead,    // in 0x66
  ProgressWrite, // out 0x80
  Other,         // the reset write to 0xCF9, anything else
};
PortRole RoleOf(const PortAccess& access);

inline bool IsStatusRead(const PortAccess& a) {
  return RoleOf(a) == PortRole::StatusRead;
}
inline bool IsProgress(const PortAccess& a) {
  return RoleOf(a) == PortRole::ProgressWrite;
}
inline bool IsEcWrite(const PortAccess& a) {
  return RoleOf(a) == PortRole::CommandWrite || RoleOf(a) == PortRole::DataWrite;
}
inline bool IsEcRead(const PortAccess& a) {
  return RoleOf(a) == PortRole::DataRead;
}

// What an access is in the EC protocol. Tables indexed by it follow this
// order and end at OtherPort, the last.
enum class Token : uint8_t {
  StatusRead,
  WaitToWrite,  // progress code before a byte to the EC
  WaitForReply, // progress code before a reply
  OtherProgress,
  // Commands outside pass-through mode.
  EnterPassThrough,
  LeavePassThrough, // also from inside pass-through mode, which it ends
  GuardThreshold,
  AcpiRead,
  UnknownCommand,
  // Pass-through commands.
  Select,
  SendOpcode,
  SendByte,
  ReadByte,
  Deselect,
  UnknownPassThroughCommand,
  // The bytes those commands carry to the flash.
  Opcode,
  AddressByte,
  DummyByte,
  FlashDataByte,
  // Replies.
  Ready,
  NotReady,
  RegisterValue,
  FlashReply,
  // Everything else.
  DataByte, // to the data port outside pass-through: a threshold, a register number
  ResetWrite,
  OtherPort,
};

// One flash transaction as relayed through the pass-through commands: from
// its select to the deselect or whatever other command ends it.
struct FlashTransaction {
  std::optional<uint8_t> opcode;
  bool addressed = false;         // the opcode is followed by an address
  bool continues_program = false; // a word program after the first of its sequence
  std::vector<uint8_t> sent;      // address, dummy and data bytes after the opcode
  std::vector<uint8_t> read;
  [[nodiscard]] bool HasAddress() const { return addressed && sent.size() >= kFlashAddressBytes; }
  [[nodiscard]] uint32_t Address() const {
    return static_cast<uint32_t>(sent[0]) << 16 | static_cast<uint32_t>(sent[1]) << 8 | sent[2];
  }
};

class TrafficDecoder {
public:
  Token See(const PortAccess& access);

  // The flash transaction of the last select, as it stands after the access.
  [[nodiscard]] const FlashTransaction& transaction() const { return transaction_; }
  [[nodiscard]] bool in_transaction() const { return open_; }
  // The opcode sent before the current transaction's: what a status poll
  // waits to see take effect.
  [[nodiscard]] std::optional<uint8_t> previous_opcode() const { return previous_opcode_; }

private:
  enum class Mode : uint8_t { Normal, Handshake, PassThrough };
  enum class Next : uint8_t { Command, Opcode, FlashByte };

  Token CommandByte(uint8_t byte);
  Token NormalCommand(uint8_t byte);
  Token PassThroughCommand(uint8_t byte);
  Token Opcode(uint8_t byte);
  Token FlashByte(uint8_t byte);
  Token Reply(uint8_t byte);

  Mode mode_ = Mode::Normal;
  Next next_ = Next::Command;
  bool open_ = false;
  bool program_sequence_ = false; // word programs until a write disable
  FlashTransaction transaction_;
  std::optional<uint8_t> last_opcode_;
  std::optional<uint8_t> previous_opcode_;
};

// Every flash transaction in a log, in order.
std::vector<FlashTransaction> FlashTransactions(const PortLog& log);

} // namespace sim
