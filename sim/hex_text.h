// SPDX-License-Identifier: BSD-2-Clause-Patent
// Hexadecimal values in the host side's messages: bytes as 0x0A, wider values
// without leading zeros or at a given width, always 0x and upper-case digits.
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

inline std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

} // namespace sim
