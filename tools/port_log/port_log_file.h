// SPDX-License-Identifier: BSD-2-Clause-Patent
// The port log the EC device of the emulated machine writes (its records:
// tools/qemu_rig/port_log_record.h), split into boots: a reset opens one
// (resets with no access between them are one), a power cut ends one, and an
// access after a cut opens the next at power-on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/port_log.h"

namespace port_log {

struct Boot {
  sim::PortLog accesses;
  std::vector<uint64_t> times_ns;   // of each access
  std::optional<uint64_t> reset_ns; // the reset that opened it; none: opened at power-on
  bool power_cut = false;           // a power cut ended it
  bool cold_start = false; // the first boot after power-on (the log's first, or after a cut)

  // Where its time starts: the reset, or else its first access.
  [[nodiscard]] uint64_t origin_ns() const {
    return reset_ns ? *reset_ns : times_ns.empty() ? 0 : times_ns.front();
  }
};

// ec_run::InputError for a log that is not whole records of the known kinds.
std::vector<Boot> SplitBoots(const std::vector<uint8_t>& bytes);
std::vector<Boot> ReadPortLog(const std::string& path);

// Boot `number` (from 1); ec_run::UsageError when the log has no such boot.
const Boot& BootNumber(const std::vector<Boot>& boots, uint64_t number);

} // namespace port_log
