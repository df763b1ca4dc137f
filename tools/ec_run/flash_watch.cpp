// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/flash_watch.h"

#include <algorithm>

#include "sim/ec_protocol.h"

namespace ec_run {

namespace {
constexpr uint32_t kBlockSize = sim::kEcBlockSize;
constexpr size_t kFastReadHeader = sim::kFlashAddressBytes + 1; // address and the dummy byte
} // namespace

FlashWatch::FlashWatch(std::span<const uint8_t> ec_image) : image_(ec_image) {}

void FlashWatch::See(const sim::PortAccess& access) {
  const sim::Token token = decoder_.See(access);
  const sim::FlashTransaction& transaction = decoder_.transaction();
  if (!decoder_.in_transaction()) {
    return;
  }
  switch (token) {
  case sim::Token::AddressByte:
    if (transaction.opcode == sim::kFlashErase1K && transaction.HasAddress()) {
      erased_block_ = transaction.Address() / kBlockSize;
      ++erased_;
      Changed();
    }
    return;
  case sim::Token::Opcode:
    if (transaction.opcode == sim::kFlashWordProgram) {
      programmed_block_ = erased_block_;
    }
    return;
  case sim::Token::FlashReply:
    if (ReadsBackProgrammedBlock(transaction)) {
      ++verified_;
      programmed_block_ = -1;
      Changed();
    }
    return;
  default:
    return;
  }
}

bool FlashWatch::ReadsBackProgrammedBlock(const sim::FlashTransaction& t) const {
  if (t.opcode != sim::kFlashFastRead || t.sent.size() != kFastReadHeader ||
      t.read.size() != kBlockSize) {
    return false;
  }
  const uint32_t address = t.Address();
  return address % kBlockSize == 0 && programmed_block_ == address / kBlockSize &&
         address + kBlockSize <= image_.size() &&
         std::equal(t.read.begin(), t.read.end(), image_.begin() + address);
}

void FlashWatch::Changed() const {
  if (on_change) {
    on_change(*this);
  }
}

} // namespace ec_run
