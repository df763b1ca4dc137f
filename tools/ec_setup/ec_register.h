// SPDX-License-Identifier: BSD-2-Clause-Patent
// EC register 0x93 as the running system reads it now, through Linux's ACPI
// EC debugfs (ec_sys): /sys/kernel/debug/ec/ec0/io holds the EC's 256
// registers, one byte each, read with the ACPI EC read command. The guard
// reads the same register at boot, so a reading below the threshold now means
// a power-off then, unless the EC's value changes before (it is live: a
// sensor or a state the EC keeps up to date).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ec_setup {

inline constexpr const char* kDefaultEcIo = "/sys/kernel/debug/ec/ec0/io";
inline constexpr unsigned kGuardRegister = 0x93;

struct EcReading {
  std::optional<uint8_t> value;
  std::string why; // when there is no value: the reason, one line
};

// load_module: the io file is the default one and the tool runs as root, so
// a missing ec_sys may be loaded (modprobe ec_sys) before giving up.
EcReading ReadGuardRegister(const std::string& io_path, bool load_module);

} // namespace ec_setup
