// The port sequence the EC protocols require, built from the protocol
// description alone (not from the drivers), for an EC and flash that are never
// busy: every wait then costs exactly one status read and one progress write.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/ec_protocol.h"
#include "sim/port_log.h"

namespace sim {

class ProtocolTrace {
public:
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

  void ResetPort() { log_.push_back(Out(kResetControlPort, kResetFull)); }

  PortLog& log() { return log_; }

private:
  void PtSelect() { Command(kPtSelect); }
  void PtDeselect() { Command(kPtDeselect); }
  void PtSendCommand(uint8_t opcode);
  void PtSendData(uint8_t byte);
  void PtReadByte(uint8_t value);
  void PtSendAddress(uint32_t address); // most significant byte first
  void FlashLatchCommand(uint8_t opcode, uint8_t status_after);

  PortLog log_;
  uint8_t idle_status_ = 0x00;
};

} // namespace sim
