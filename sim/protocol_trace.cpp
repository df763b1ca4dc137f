#include "sim/protocol_trace.h"

namespace sim {

// Command and data bytes each wait once for IBF clear (progress 0xEB); a reply
// waits once for OBF set (progress 0xEC).
void ProtocolTrace::Command(uint8_t command) {
  log_.insert(log_.end(), {In(kEcCommandPort, idle_status_), Out(kPostCodePort, kProgressWaitInput),
                           Out(kEcCommandPort, command)});
}

void ProtocolTrace::Data(uint8_t data) {
  log_.insert(log_.end(), {In(kEcCommandPort, idle_status_), Out(kPostCodePort, kProgressWaitInput),
                           Out(kEcDataPort, data)});
}

void ProtocolTrace::Reply(uint8_t value) {
  log_.insert(log_.end(), {In(kEcCommandPort, static_cast<uint8_t>(idle_status_ | kStatusObf)),
                           Out(kPostCodePort, kProgressWaitOutput), In(kEcDataPort, value)});
}

void ProtocolTrace::PtSendCommand(uint8_t opcode) {
  Command(kPtSendCommand);
  Command(opcode);
}

void ProtocolTrace::PtSendData(uint8_t byte) {
  Command(kPtSendData);
  Command(byte);
}

void ProtocolTrace::PtReadByte(uint8_t value) {
  Command(kPtReadByte);
  Reply(value);
}

void ProtocolTrace::FlashIdle(uint8_t status) {
  PtSelect();
  PtSendCommand(kFlashReadStatus);
  PtReadByte(status);
  PtDeselect();
}

// A latch command is closed by the select that opens its status read, which
// then shows the latch as the command left it.
void ProtocolTrace::FlashLatchCommand(uint8_t opcode, uint8_t status_after) {
  PtSelect();
  PtSendCommand(opcode);
  PtSelect();
  PtSendCommand(kFlashReadStatus);
  PtReadByte(status_after);
  PtDeselect();
}

void ProtocolTrace::FlashWriteEnable() {
  FlashIdle();
  FlashLatchCommand(kFlashWriteEnable, kFlashStatusWel);
}

void ProtocolTrace::FlashWriteDisable(uint8_t status_before) {
  FlashIdle(status_before);
  FlashLatchCommand(kFlashWriteDisable, 0);
}

void ProtocolTrace::FlashId(const std::array<uint8_t, 4>& id) {
  PtSelect();
  PtSendCommand(kFlashReadId);
  for (uint8_t byte : id) {
    PtReadByte(byte);
  }
  PtDeselect();
}

void ProtocolTrace::PtSendAddress(uint32_t address) {
  PtSendData(static_cast<uint8_t>(address >> 16));
  PtSendData(static_cast<uint8_t>(address >> 8));
  PtSendData(static_cast<uint8_t>(address));
}

void ProtocolTrace::FlashErase(uint32_t address) {
  PtSelect();
  PtSendCommand(kFlashErase1K);
  PtSendAddress(address);
  PtDeselect();
}

void ProtocolTrace::FlashFastRead(uint32_t address, const std::vector<uint8_t>& bytes) {
  PtSelect();
  PtSendCommand(kFlashFastRead);
  PtSendAddress(address);
  PtSendData(kFlashFastReadDummy);
  for (uint8_t byte : bytes) {
    PtReadByte(byte);
  }
}

void ProtocolTrace::FlashProgram(uint32_t address, const uint8_t* bytes, uint32_t count) {
  PtSelect();
  PtSendCommand(kFlashWordProgram);
  PtSendAddress(address);
  for (uint32_t i = 0; i < count; i += 2) {
    PtSendData(bytes[i]);
    PtSendData(bytes[i + 1]);
    FlashIdle(kFlashStatusWel);
    PtSelect();
    PtSendCommand(kFlashWordProgram);
  }
}

namespace {
// The bytes read until (and including) the first that differs from want.
std::vector<uint8_t> ReadUntilMismatch(const std::vector<uint8_t>& got, const uint8_t* want_or_null,
                                       uint8_t want_all) {
  std::vector<uint8_t> read;
  for (uint32_t i = 0; i < got.size(); ++i) {
    read.push_back(got[i]);
    if (got[i] != (want_or_null ? want_or_null[i] : want_all)) {
      break;
    }
  }
  return read;
}
} // namespace

void ProtocolTrace::Block(uint32_t address, const uint8_t* image, const std::vector<uint8_t>& blank,
                          const std::vector<uint8_t>& readback) {
  FlashWriteEnable();
  FlashErase(address);
  FlashIdle();
  FlashWriteDisable();
  FlashIdle();
  const std::vector<uint8_t> blank_read = ReadUntilMismatch(blank, nullptr, kFlashErased);
  FlashFastRead(address, blank_read);
  if (blank_read.size() == kEcBlockSize && blank_read.back() == kFlashErased) {
    FlashIdle();
    FlashWriteEnable();
    FlashProgram(address, image, kEcBlockSize);
    FlashWriteDisable(kFlashStatusWel);
    FlashIdle();
    FlashWriteDisable();
    FlashIdle();
    FlashFastRead(address, ReadUntilMismatch(readback, image, 0));
  }
  FlashIdle();
}

} // namespace sim
