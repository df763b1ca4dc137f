// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/flash_watch.h"

#include <algorithm>

#include "sim/platform.h"

namespace ec_run {

namespace {
constexpr size_t kFastReadHeader = sim::kFlashAddressBytes + 1; // address and the dummy byte
constexpr uint32_t kBlockSize = sim::kEcBlockSize;
} // namespace

FlashWatch::FlashWatch(std::span<const uint8_t> ec_image) : image_(ec_image) {}

void FlashWatch::See(const sim::PortAccess& access) {
  if (access.port == sim::kEcCommandPort && access.dir == sim::PortDir::Out) {
    Command(access.value);
  } else if (access.port == sim::kEcDataPort && access.dir == sim::PortDir::In &&
             expect_ == Expect::Reply) {
    expect_ = Expect::Command;
    Reply(access.value);
  }
}

void FlashWatch::Command(uint8_t byte) {
  switch (expect_) {
  case Expect::Opcode:
    opcode_ = byte;
    expect_ = Expect::Command;
    return;
  case Expect::Data:
    data_.push_back(byte);
    expect_ = Expect::Command;
    if (open_ && opcode_ == sim::kFlashErase1K && data_.size() == sim::kFlashAddressBytes) {
      erased_block_ = Address() / kBlockSize;
      ++erased_;
      if (on_change) {
        on_change(*this);
      }
    }
    return;
  case Expect::Command:
  case Expect::Reply:
    break;
  }
  expect_ = Expect::Command;
  switch (byte) {
  case sim::kPtSelect:
    EndTransaction();
    open_ = true;
    return;
  case sim::kPtDeselect:
    EndTransaction();
    return;
  case sim::kPtSendCommand:
    expect_ = Expect::Opcode;
    return;
  case sim::kPtSendData:
    expect_ = Expect::Data;
    return;
  case sim::kPtReadByte:
    expect_ = Expect::Reply;
    return;
  default:
    return; // entering or leaving pass-through mode
  }
}

void FlashWatch::Reply(uint8_t byte) {
  if (!open_ || opcode_ != sim::kFlashFastRead || data_.size() != kFastReadHeader) {
    return;
  }
  reads_.push_back(byte);
  const uint32_t address = Address();
  if (reads_.size() == kBlockSize && address % kBlockSize == 0 &&
      programmed_block_ == address / kBlockSize && address + kBlockSize <= image_.size() &&
      std::equal(reads_.begin(), reads_.end(), image_.begin() + address)) {
    ++verified_;
    programmed_block_ = -1;
    if (on_change) {
      on_change(*this);
    }
  }
}

void FlashWatch::EndTransaction() {
  if (open_ && opcode_ == sim::kFlashWordProgram) {
    programmed_block_ = erased_block_;
  }
  open_ = false;
  opcode_ = 0;
  data_.clear();
  reads_.clear();
}

uint32_t FlashWatch::Address() const {
  return static_cast<uint32_t>(data_[0]) << 16 | static_cast<uint32_t>(data_[1]) << 8 | data_[2];
}

} // namespace ec_run
