// SPDX-License-Identifier: BSD-2-Clause-Patent
// Hexadecimal values in the simulator's messages: bytes as 0x0A, wider values
// without leading zeros.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

inline std::string HexByte(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

inline std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

} // namespace sim
