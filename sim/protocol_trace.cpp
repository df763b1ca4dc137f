#include "sim/protocol_trace.h"

#include "sim/ec_protocol.h"

namespace sim {

namespace {
constexpr uint32_t kBlock = 0x400;
constexpr uint8_t kLatchSet = 0x02;
} // namespace

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
  log_.insert(log_.end(), {In(kEcCommandPort, static_cast<uint8_t>(idle_status_ | 0x01)),
                           Out(kPostCodePort, kProgressWaitOutput), In(kEcDataPort, value)});
}

void ProtocolTrace::PtSendCommand(uint8_t opcode) {
  Command(0x02);
  Command(opcode);
}

void ProtocolTrace::PtSendData(uint8_t byte) {
  Command(0x03);
  Command(byte);
}

void ProtocolTrace::PtReadByte(uint8_t value) {
  Command(0x04);
  Reply(value);
}

void ProtocolTrace::FlashIdle(uint8_t status) {
  Command(0x01);
  PtSendCommand(0x05);
  PtReadByte(status);
  Command(0x05);
}

void ProtocolTrace::FlashWriteEnable() {
  FlashIdle();
  Command(0x01);
  PtSendCommand(0x06);
  Command(0x01);
  PtSendCommand(0x05);
  PtReadByte(kLatchSet);
  Command(0x05);
}

void ProtocolTrace::FlashWriteDisable(uint8_t status_before) {
  FlashIdle(status_before);
  Command(0x01);
  PtSendCommand(0x04);
  Command(0x01);
  PtSendCommand(0x05);
  PtReadByte(0x00);
  Command(0x05);
}

void ProtocolTrace::FlashId(const uint8_t (&id)[4]) {
  Command(0x01);
  PtSendCommand(0x9F);
  for (uint8_t byte : id) {
    PtReadByte(byte);
  }
  Command(0x05);
}

void ProtocolTrace::FlashErase(uint32_t address) {
  Command(0x01);
  PtSendCommand(0xD7);
  PtSendData(static_cast<uint8_t>(address >> 16));
  PtSendData(static_cast<uint8_t>(address >> 8));
  PtSendData(static_cast<uint8_t>(address));
  Command(0x05);
}

void ProtocolTrace::FlashFastRead(uint32_t address, const std::vector<uint8_t>& bytes) {
  Command(0x01);
  PtSendCommand(0x0B);
  PtSendData(static_cast<uint8_t>(address >> 16));
  PtSendData(static_cast<uint8_t>(address >> 8));
  PtSendData(static_cast<uint8_t>(address));
  PtSendData(0x00);
  for (uint8_t byte : bytes) {
    PtReadByte(byte);
  }
}

void ProtocolTrace::FlashProgram(uint32_t address, const uint8_t* bytes, uint32_t count) {
  Command(0x01);
  PtSendCommand(0xAD);
  PtSendData(static_cast<uint8_t>(address >> 16));
  PtSendData(static_cast<uint8_t>(address >> 8));
  PtSendData(static_cast<uint8_t>(address));
  for (uint32_t i = 0; i < count; i += 2) {
    PtSendData(bytes[i]);
    PtSendData(bytes[i + 1]);
    FlashIdle(kLatchSet);
    Command(0x01);
    PtSendCommand(0xAD);
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
  const std::vector<uint8_t> blank_read = ReadUntilMismatch(blank, nullptr, 0xFF);
  FlashFastRead(address, blank_read);
  if (blank_read.size() == kBlock && blank_read.back() == 0xFF) {
    FlashIdle();
    FlashWriteEnable();
    FlashProgram(address, image, kBlock);
    FlashWriteDisable(kLatchSet);
    FlashIdle();
    FlashWriteDisable();
    FlashIdle();
    FlashFastRead(address, ReadUntilMismatch(readback, image, 0));
  }
  FlashIdle();
}

} // namespace sim
