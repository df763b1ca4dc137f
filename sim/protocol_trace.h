// SPDX-License-Identifier: BSD-2-Clause-Patent
// The port sequence the EC protocols require, built from the protocol
// description alone (not from the drivers). For an EC and flash that are never
// busy every wait costs exactly one status read and one progress write; a
// WaitTiming stretches the waits the way a busy EC and flash hold them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/ec_protocol.h"
#include "sim/port_log.h"

namespace sim {

// How many extra status reads each wait takes, counted as the EC and flash
// models count them (EcConfig, FlashConfig). All zero: never busy.
struct WaitTiming {
  unsigned ec_input = 0;            // reads that still show IBF after each byte written
  unsigned ec_output = 0;           // reads that still show OBF clear before each reply
  unsigned ec_at_start = 0;         // reads that show IBF before the first byte
  unsigned flash_erase = 0;         // flash status reads still busy after each erase
  unsigned flash_program = 0;       // ... after each word program
  unsigned flash_write_enable = 0;  // busy with the latch after a write enable
  unsigned flash_write_disable = 0; // the latch still set after a write disable
};

class ProtocolTrace {
public:
  using Sink = std::function<void(const PortAccess&)>;

  ProtocolTrace() = default;
  // Waits stretched by `timing`; with a sink every access goes there instead
  // of into log() (a busy update can run to billions of accesses).
  ProtocolTrace(const WaitTiming& timing, Sink sink);

  // ACPI EC handshake.
  void Command(uint8_t command);
  void Data(uint8_t data);
  void Reply(uint8_t value);
  // From here on an unread reply waits, so status reads show OBF.
  void ReplyLeftUnread() { idle_status_ = kStatusObf; }

  // Pass-through relay and flash sequences.
  // Status read until not busy. The flash answers with its write-enable latch
  // too: set from a write enable until a write disable or a finished erase.
  void FlashIdle(uint8_t status = 0);
  void FlashWriteEnable();
  void FlashWriteDisable(uint8_t status_before = 0);
  void FlashId(const std::array<uint8_t, 4>& id);
  void FlashErase(uint32_t address);
  void FlashFastRead(uint32_t address, const std::vector<uint8_t>& bytes);
  void FlashProgram(uint32_t address, const uint8_t* bytes, uint32_t count);

  // A whole block as the updater writes it. blank/readback are what the flash
  // answers; the block stops at the first wrong byte, as the updater must.
  void Block(uint32_t address, const uint8_t* image, const std::vector<uint8_t>& blank,
             const std::vector<uint8_t>& readback);

  void ResetPort() { Emit(Out(kResetControlPort, kResetFull)); }

  PortLog& log() { return log_; }

private:
  void PtSelect() { Command(kPtSelect); }
  void PtDeselect() { Command(kPtDeselect); }
  void PtSendCommand(uint8_t opcode);
  void PtSendData(uint8_t byte);
  void PtReadByte(uint8_t value);
  void PtSendAddress(uint32_t address); // most significant byte first
  // Every EC byte written waits for IBF clear; a busy EC holds IBF for
  // timing_.ec_input reads after it, and the reads of a reply's wait count
  // toward those too.
  void EcWrite(uint16_t port, uint8_t byte);
  // The flash's status polled until it is done: first the reads a busy flash
  // still answers with `slow_status_`, then `status`.
  void FlashStatus(uint8_t status);
  void SlowFlash(unsigned reads, uint8_t status);
  void FlashLatchCommand(uint8_t opcode, uint8_t status_after, unsigned slow_reads);
  void Emit(const PortAccess& access);

  PortLog log_;
  Sink sink_;
  WaitTiming timing_;
  uint8_t idle_status_ = 0x00;
  unsigned ibf_reads_ = 0;  // status reads that will still show IBF
  unsigned slow_reads_ = 0; // flash status reads that will still show it not done
  uint8_t slow_status_ = 0;
};

} // namespace sim
