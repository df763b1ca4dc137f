// SPDX-License-Identifier: BSD-2-Clause-Patent
// Follows the EC pass-through traffic on the ports, the way a bus analyser
// would, and reports which blocks of the EC flash were erased and which were
// read back equal to the EC image after being programmed. It knows only the
// pass-through command set and the flash opcodes, nothing of the driver.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sim/port_log.h"

namespace ec_run {

class FlashWatch {
public:
  explicit FlashWatch(std::span<const uint8_t> ec_image);

  void See(const sim::PortAccess& access);

  [[nodiscard]] unsigned erased() const { return erased_; }
  [[nodiscard]] unsigned verified() const { return verified_; }
  // Called after each erase and each verified block.
  std::function<void(const FlashWatch&)> on_change;

private:
  enum class Expect { Command, Opcode, Data, Reply };
  void Command(uint8_t byte);
  void Reply(uint8_t byte);
  void EndTransaction();
  [[nodiscard]] uint32_t Address() const;

  std::span<const uint8_t> image_;
  Expect expect_ = Expect::Command;
  bool open_ = false;
  uint8_t opcode_ = 0;
  std::vector<uint8_t> data_;
  std::vector<uint8_t> reads_;
  int64_t programmed_block_ = -1; // the block erased last, once a program command followed
  int64_t erased_block_ = -1;
  unsigned erased_ = 0;
  unsigned verified_ = 0;
};

} // namespace ec_run
