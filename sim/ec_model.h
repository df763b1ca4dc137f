// SPDX-License-Identifier: BSD-2-Clause-Patent
// An embedded controller behind the ACPI EC ports: the IBF/OBF handshake with
// configurable busy reads, the flash pass-through mode that relays to a
// SpiFlash, the guard's threshold command, and the ACPI EC commands on its
// register file (read, write, burst mode, query).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/spi_flash.h"

namespace sim {

struct EcConfig {
  unsigned ibf_busy_reads = 0;      // status reads with IBF still set after each byte written
  unsigned obf_delay_reads = 0;     // status reads with OBF still clear before each reply
  unsigned busy_at_start_reads = 0; // IBF held at power-on, as if busy with an earlier byte
  int replies_before_ready = 0;     // replies to 0xDC before 0x33; negative: never ready
  uint8_t not_ready_reply = 0x00;
  std::array<uint8_t, 256> registers{}; // read and written by the ACPI EC commands
  bool operator==(const EcConfig&) const = default;
};

class EcModel {
public:
  EcModel(EcConfig config, SpiFlash& flash);

  uint8_t ReadStatus();
  uint8_t ReadData();
  void WriteCommand(uint8_t command);
  void WriteData(uint8_t data);
  // The platform reset (PLTRST#). The EC runs on standby power, so only its
  // host interface restarts: IBF and OBF clear, queued replies and a command
  // still waiting for its data byte are dropped, and pass-through mode ends
  // with the open flash transaction, and so does burst mode. Registers, the guard threshold (until
  // the next guard command), the flash contents and an EC still busy with its
  // own start-up after power-on stay. A power cycle is a new EcModel.
  void PlatformReset();

  [[nodiscard]] bool in_pass_through() const { return mode_ == Mode::PassThrough; }
  [[nodiscard]] bool in_burst() const { return burst_; }
  [[nodiscard]] int guard_threshold() const { return guard_threshold_; } // -1: never sent
  // Replies to the pass-through request the host has read.
  [[nodiscard]] unsigned handshake_replies() const { return handshake_replies_; }
  [[nodiscard]] const std::vector<std::string>& violations() const { return violations_; }
  EcConfig& config() { return config_; }

private:
  enum class Mode { Normal, Handshake, PassThrough };
  enum class Pending {
    None,
    FlashOpcode,
    FlashData,
    GuardThreshold,
    ReadRegister,
    WriteAddress,
    WriteValue
  };

  void AcceptByte();
  void QueueReply(uint8_t value);
  void NextHandshakeReply();
  void PassThroughCommand(uint8_t command);
  void NormalCommand(uint8_t command);
  void Violation(std::string what);

  EcConfig config_;
  SpiFlash& flash_;
  Mode mode_ = Mode::Normal;
  Pending pending_ = Pending::None;
  unsigned ibf_reads_left_ = 0;
  bool ibf_ = false;
  bool starting_ = false; // IBF still held by the start-up after power-on
  bool burst_ = false;
  uint8_t write_address_ = 0;
  std::deque<uint8_t> replies_;
  unsigned obf_reads_left_ = 0;
  int not_ready_left_ = 0;
  bool handshake_reply_queued_ = false; // the queue's one reply answers the pass-through request
  unsigned handshake_replies_ = 0;
  int guard_threshold_ = -1;
  std::vector<std::string> violations_;
};

} // namespace sim
