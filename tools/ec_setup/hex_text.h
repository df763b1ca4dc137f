// SPDX-License-Identifier: BSD-2-Clause-Patent
// Values as ec-setup prints them: 0x and upper-case hex digits.
#pragma once

#include <cstdio>
#include <string>

namespace ec_setup {

inline std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

} // namespace ec_setup
