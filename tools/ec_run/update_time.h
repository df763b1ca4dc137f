// SPDX-License-Identifier: BSD-2-Clause-Patent
// The summary's cost lines: the port accesses a run made beside those of a
// full update with an EC and flash that are never busy, and the update time
// they imply at a given bus cost per access.
#pragma once

#include <cstdint>
#include <string>

namespace ec_run {

struct RunCost {
  uint64_t accesses = 0;
  uint64_t virtual_us = 0;  // the firmware's own time: the prompt, the pauses
  uint64_t io_ns = 0;       // bus cost of one port access
  bool full_update = false; // every block written: the never-busy figures apply
};

// "4,581,952 (never busy 4,187,200, +394,752)"
std::string AccessesText(const RunCost& cost);
// "12.582 s at 1 us per port access (never busy 12.187 s)"
std::string UpdateTimeText(const RunCost& cost);

} // namespace ec_run
