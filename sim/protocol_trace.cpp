// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/protocol_trace.h"

#include <algorithm>

namespace sim {

ProtocolTrace::ProtocolTrace(const WaitTiming& timing, Sink sink)
    : sink_(std::move(sink)), timing_(timing), ibf_reads_(timing.ec_at_start) {}

void ProtocolTrace::Emit(const PortAccess& access) {
  if (sink_) {
    sink_(access);
  } else {
    log_.push_back(access);
  }
}

// Command and data bytes each wait for IBF clear (progress 0xEB after every
// status read); a reply waits for OBF set (progress 0xEC).
void ProtocolTrace::EcWrite(uint16_t port, uint8_t byte) {
  for (; ibf_reads_ > 0; --ibf_reads_) {
    Emit(In(kEcCommandPort, static_cast<uint8_t>(idle_status_ | kStatusIbf)));
    Emit(Out(kPostCodePort, kProgressWaitInput));
  }
  Emit(In(kEcCommandPort, idle_status_));
  Emit(Out(kPostCodePort, kProgressWaitInput));
  Emit(Out(port, byte));
  ibf_reads_ = timing_.ec_input;
}

void ProtocolTrace::Command(uint8_t command) {
  EcWrite(kEcCommandPort, command);
}

void ProtocolTrace::Data(uint8_t data) {
  EcWrite(kEcDataPort, data);
}

void ProtocolTrace::Reply(uint8_t value) {
  for (unsigned read = 0; read <= timing_.ec_output; ++read) {
    const bool ibf = read < ibf_reads_;
    const bool obf = read == timing_.ec_output;
    Emit(In(kEcCommandPort,
            static_cast<uint8_t>(idle_status_ | (ibf ? kStatusIbf : 0) | (obf ? kStatusObf : 0))));
    Emit(Out(kPostCodePort, kProgressWaitOutput));
  }
  ibf_reads_ -= std::min(ibf_reads_, timing_.ec_output + 1);
  Emit(In(kEcDataPort, value));
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

// A status read repeats the status for as long as the read goes on, so a
// poll is one transaction whose reply bytes are read until the flash is done.
void ProtocolTrace::FlashStatus(uint8_t status) {
  for (; slow_reads_ > 0; --slow_reads_) {
    PtReadByte(slow_status_);
  }
  PtReadByte(status);
}

void ProtocolTrace::SlowFlash(unsigned reads, uint8_t status) {
  slow_reads_ = reads;
  slow_status_ = status;
}

void ProtocolTrace::FlashIdle(uint8_t status) {
  PtSelect();
  PtSendCommand(kFlashReadStatus);
  FlashStatus(status);
  PtDeselect();
}

// A latch command is closed by the select that opens its status read, which
// then shows the latch as the command left it, once a slow flash has acted.
void ProtocolTrace::FlashLatchCommand(uint8_t opcode, uint8_t status_after, unsigned slow_reads) {
  PtSelect();
  PtSendCommand(opcode);
  PtSelect();
  // Write enable: busy shows with the latch; write disable: the latch lingers.
  SlowFlash(slow_reads, opcode == kFlashWriteEnable
                            ? static_cast<uint8_t>(kFlashStatusBusy | kFlashStatusWel)
                            : kFlashStatusWel);
  PtSendCommand(kFlashReadStatus);
  FlashStatus(status_after);
  PtDeselect();
}

void ProtocolTrace::FlashWriteEnable() {
  FlashIdle();
  FlashLatchCommand(kFlashWriteEnable, kFlashStatusWel, timing_.flash_write_enable);
}

// A write disable lingers only where there is a latch to clear.
void ProtocolTrace::FlashWriteDisable(uint8_t status_before) {
  FlashIdle(status_before);
  FlashLatchCommand(kFlashWriteDisable, 0,
                    (status_before & kFlashStatusWel) != 0 ? timing_.flash_write_disable : 0);
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
  SlowFlash(timing_.flash_erase, kFlashStatusBusy); // the erase has cleared the latch
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
    SlowFlash(timing_.flash_program, static_cast<uint8_t>(kFlashStatusBusy | kFlashStatusWel));
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
