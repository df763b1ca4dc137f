// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/guard_check.h"

#include "common/setup_data.h"
#include "sim/hex_text.h"
#include "tools/ec_setup/exit_status.h"

namespace ec_setup {

using sim::Hex;

namespace {

bool TouchesGuard(const std::vector<ByteChange>& changes) {
  for (const ByteChange& change : changes) {
    if (change.offset == SETUP_EC_GUARD_ENABLE || change.offset == SETUP_EC_GUARD_THRESHOLD) {
      return true;
    }
  }
  return false;
}

std::string Below(uint8_t reading, uint8_t threshold) {
  return "EC register 0x93 reads " + Hex(reading, 2) + " now, below the guard's threshold " +
         Hex(threshold, 2) + ": the next boot would power off during DXE, and every boot after";
}

} // namespace

std::optional<GuardSetting> GuardOf(std::span<const uint8_t> data) {
  if (data.size() > SETUP_DATA_SIZE || !SetupHasByte(data.size(), SETUP_EC_GUARD_THRESHOLD) ||
      data[SETUP_EC_GUARD_ENABLE] == 0) {
    return std::nullopt;
  }
  return GuardSetting{data[SETUP_EC_GUARD_THRESHOLD]};
}

std::optional<bool> PowersOff(std::span<const uint8_t> data, const EcReading& ec) {
  const std::optional<GuardSetting> guard = GuardOf(data);
  if (!guard) {
    return false;
  }
  if (!ec.value) {
    return std::nullopt;
  }
  return *ec.value < guard->threshold;
}

GuardVerdict CheckGuard(const std::vector<ByteChange>& changes, std::span<const uint8_t> after,
                        const EcReading& ec, bool force) {
  const std::optional<GuardSetting> guard = GuardOf(after);
  if (!guard) {
    return {};
  }
  const bool checked = TouchesGuard(changes);
  if (!ec.value) {
    if (!checked) {
      return {};
    }
    const std::string why = "cannot check the guard against EC register 0x93: " + ec.why;
    if (force) {
      return {kExitDone, "", why + "; written anyway (--force)"};
    }
    return {kExitNotHere, why + "; nothing written (--force writes it unchecked)", ""};
  }
  if (*ec.value >= guard->threshold) {
    return {};
  }
  const std::string below = Below(*ec.value, guard->threshold);
  if (!checked) {
    return {kExitDone, "", below + " (the guard is already so)"};
  }
  if (force) {
    return {kExitDone, "", below + "; written anyway (--force)"};
  }
  return {kExitUnsafe, below + "; refused, nothing written (--force writes it)", ""};
}

} // namespace ec_setup
