// SPDX-License-Identifier: BSD-2-Clause-Patent
// The guard at the next boot, foreseen from "Setup" and EC register 0x93 as
// it reads now: with the guard on, a reading below the threshold powers the
// machine off during DXE, before any console or setup menu, at every boot
// until the variable store is cleared or the flash reprogrammed. A change
// that leaves the guard so set is refused unless forced.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/ec_setup/ec_register.h"
#include "tools/ec_setup/setup_edit.h"

namespace ec_setup {

struct GuardSetting {
  uint8_t threshold;
};

// The guard as the driver reads these bytes; nullopt: it stays off.
std::optional<GuardSetting> GuardOf(std::span<const uint8_t> data);

// nullopt: unknown (no reading) or the guard is off.
std::optional<bool> PowersOff(std::span<const uint8_t> data, const EcReading& ec);

struct GuardVerdict {
  int status = 0;      // 0: go ahead; otherwise the exit status of the refusal
  std::string refusal; // one line
  std::string warning; // one line; empty when nothing to say
};

// changes: those planned; after: the data once they are made. Only a change
// to the guard's own bytes that leaves it on is refused; any other command
// that finds it would power off says so in a warning (it makes it no worse).
GuardVerdict CheckGuard(const std::vector<ByteChange>& changes, std::span<const uint8_t> after,
                        const EcReading& ec, bool force);

} // namespace ec_setup
