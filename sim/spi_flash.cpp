// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/spi_flash.h"

#include "sim/hex_text.h"

namespace sim {

namespace {
constexpr size_t kAddressEnd = 1 + kFlashAddressBytes;  // opcode and address
constexpr size_t kFastReadHeader = kAddressEnd + 1;     // ... and the dummy byte
constexpr size_t kFirstProgramLength = kAddressEnd + 2; // ... and two data bytes
constexpr size_t kFurtherProgramLength = 3;             // opcode, two data bytes

constexpr uint8_t kUndriven = 0xFF; // what a read gets when the flash drives nothing

} // namespace

SpiFlash::SpiFlash(FlashConfig config) : config_(config), memory_(kFlashSize, kFlashErased) {}

void SpiFlash::Violation(std::string what) {
  violations_.push_back(std::move(what));
}

uint8_t SpiFlash::Status() const {
  return static_cast<uint8_t>((Busy() ? kFlashStatusBusy : 0) |
                              (write_enabled_ || latch_reads_left_ > 0 ? kFlashStatusWel : 0));
}

void SpiFlash::StartBusy(unsigned reads) {
  busy_reads_left_ = reads;
}

void SpiFlash::Select() {
  if (selected_) {
    EndTransaction();
  }
  selected_ = true;
  bytes_.clear();
  read_index_ = 0;
  ++counters_.transactions;
}

void SpiFlash::Deselect() {
  if (selected_) {
    EndTransaction();
  }
  selected_ = false;
}

void SpiFlash::PlatformReset() {
  selected_ = false;
  bytes_.clear();
  read_index_ = 0;
  write_enabled_ = false;
  latch_reads_left_ = 0;
  auto_increment_ = false;
}

void SpiFlash::Send(uint8_t byte) {
  if (!selected_) {
    Violation("byte " + HexByte(byte) + " sent with no transaction open");
    return;
  }
  bytes_.push_back(byte);
}

uint32_t SpiFlash::AddressFromBytes() const {
  return (static_cast<uint32_t>(bytes_[1]) << 16) | (static_cast<uint32_t>(bytes_[2]) << 8) |
         bytes_[3];
}

uint8_t SpiFlash::Read() {
  if (!selected_ || bytes_.empty()) {
    Violation("read with no command");
    return kUndriven;
  }
  switch (bytes_[0]) {
  case kFlashReadStatus: {
    ++counters_.status_reads;
    const uint8_t status = Status();
    if (busy_reads_left_ > 0) {
      --busy_reads_left_;
    }
    if (latch_reads_left_ > 0) {
      --latch_reads_left_;
    }
    return status;
  }
  case kFlashReadId:
    return read_index_ < config_.id.size() ? config_.id[read_index_++] : kUndriven;
  case kFlashFastRead:
    if (bytes_.size() != kFastReadHeader) {
      Violation("fast read without address and dummy byte");
      return kUndriven;
    }
    if (Busy()) {
      Violation("fast read while busy");
    }
    return memory_[(AddressFromBytes() + read_index_++) % kFlashSize];
  default:
    Violation("read during command " + HexByte(bytes_[0]));
    return kUndriven;
  }
}

void SpiFlash::EndTransaction() {
  if (bytes_.empty()) {
    return;
  }
  const uint8_t opcode = bytes_[0];
  if (opcode == kFlashReadStatus || opcode == kFlashReadId || opcode == kFlashFastRead) {
    return;
  }
  if (Busy()) {
    Violation("command " + HexByte(opcode) + " while busy (ignored)");
    return;
  }
  switch (opcode) {
  case kFlashWriteEnable:
    write_enabled_ = true;
    latch_reads_left_ = 0;
    StartBusy(config_.busy_reads_after_write_enable);
    return;
  case kFlashWriteDisable:
    latch_reads_left_ = write_enabled_ ? config_.latch_reads_after_write_disable : 0;
    write_enabled_ = false;
    auto_increment_ = false;
    return;
  case kFlashErase1K:
    if (bytes_.size() != kAddressEnd) {
      Violation("erase with " + std::to_string(bytes_.size() - 1) + " address bytes");
    } else if (!write_enabled_) {
      Violation("erase without write enable (ignored)");
    } else {
      Erase(AddressFromBytes());
    }
    return;
  case kFlashWordProgram:
    if (!write_enabled_) {
      Violation("word program without write enable (ignored)");
    } else if (!auto_increment_ && bytes_.size() == kFirstProgramLength) {
      auto_increment_ = true;
      next_program_address_ = AddressFromBytes();
      ProgramWord(next_program_address_, bytes_[4], bytes_[5]);
    } else if (auto_increment_ && bytes_.size() == kFurtherProgramLength) {
      ProgramWord(next_program_address_, bytes_[1], bytes_[2]);
    } else if (!(auto_increment_ && bytes_.size() == 1)) {
      // A lone opcode inside the sequence carries nothing and programs nothing.
      Violation("word program with " + std::to_string(bytes_.size() - 1) + " bytes");
    }
    return;
  default:
    Violation("unknown flash command " + HexByte(opcode));
    return;
  }
}

void SpiFlash::Erase(uint32_t address) {
  const uint32_t start = (address % kFlashSize) & ~(kFlashSectorSize - 1);
  for (uint32_t i = 0; i < kFlashSectorSize; ++i) {
    memory_[start + i] = kFlashErased;
  }
  if (config_.stuck_erase_address &&
      *config_.stuck_erase_address / kFlashSectorSize == start / kFlashSectorSize) {
    memory_[*config_.stuck_erase_address] = config_.stuck_value;
  }
  ++counters_.erases;
  write_enabled_ = false; // the latch drops when the erase completes
  StartBusy(config_.busy_reads_after_erase);
}

void SpiFlash::ProgramWord(uint32_t address, uint8_t first, uint8_t second) {
  const uint8_t data[2] = {first, second};
  for (uint32_t i = 0; i < 2; ++i) {
    const uint32_t at = (address + i) % kFlashSize;
    uint8_t value = memory_[at] & data[i]; // programming only clears bits
    if (config_.bad_program_address == at) {
      value ^= config_.bad_program_flip;
    }
    memory_[at] = value;
  }
  next_program_address_ = address + 2;
  ++counters_.word_programs;
  StartBusy(config_.busy_reads_after_program);
}

} // namespace sim
