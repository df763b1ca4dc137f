// SPDX-License-Identifier: BSD-2-Clause-Patent
// A JSON string literal, for the host tools' small hand-written JSON outputs
// (the EC model's report, the firmware run's plan, ec-setup show --json).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace sim {

inline std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

} // namespace sim
