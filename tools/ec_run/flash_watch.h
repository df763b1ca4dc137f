// SPDX-License-Identifier: BSD-2-Clause-Patent
// Reports, from the EC pass-through traffic on the ports as the host's one
// decoder reads it (sim/traffic_decoder.h), which blocks of the EC flash were
// erased and which were read back equal to the EC image after being
// programmed. It knows nothing of the driver.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "sim/port_log.h"
#include "sim/traffic_decoder.h"

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
  void Changed() const;
  [[nodiscard]] bool ReadsBackProgrammedBlock(const sim::FlashTransaction& t) const;

  std::span<const uint8_t> image_;
  sim::TrafficDecoder decoder_;
  int64_t programmed_block_ = -1; // the block erased last, once a program command followed
  int64_t erased_block_ = -1;
  unsigned erased_ = 0;
  unsigned verified_ = 0;
};

} // namespace ec_run
