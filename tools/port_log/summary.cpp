// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/port_log/summary.h"

#include <cstdio>
#include <map>

namespace port_log {

namespace {

struct PortBytes {
  std::string written;
  std::string read;
};

std::string Hex(unsigned value, const char* format) {
  char text[8];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string PortsJson(const Boot& boot) {
  std::map<uint16_t, PortBytes> ports;
  for (const sim::PortAccess& a : boot.accesses) {
    PortBytes& bytes = ports[a.port];
    (a.dir == sim::PortDir::In ? bytes.read : bytes.written) += Hex(a.value, "%02x");
  }
  std::string json = "{";
  for (const auto& [port, bytes] : ports) {
    json += (json.size() > 1 ? ", \"" : "\"") + Hex(port, "0x%02x") + "\": {\"written\": \"" +
            bytes.written + "\", \"read\": \"" + bytes.read + "\"}";
  }
  return json + "}";
}

} // namespace

std::string SummaryJson(const std::vector<Boot>& boots) {
  std::string json = "{\"boots\": [";
  for (size_t i = 0; i < boots.size(); ++i) {
    const Boot& b = boots[i];
    const uint64_t span_ns = b.times_ns.empty() ? 0 : b.times_ns.back() - b.origin_ns();
    json += std::string(i == 0 ? "\n" : ",\n") + "  {\"boot\": " + std::to_string(i + 1) +
            ", \"accesses\": " + std::to_string(b.accesses.size()) + ", \"opened_by\": \"" +
            (b.reset_ns ? "reset" : "power-on") +
            "\", \"cold_start\": " + (b.cold_start ? "true" : "false") +
            ", \"power_cut\": " + (b.power_cut ? "true" : "false") +
            ", \"last_access_us\": " + std::to_string(span_ns / 1000) +
            (b.accesses.size() < kMostListedAccesses ? ", \"ports\": " + PortsJson(b) : "") + "}";
  }
  return json + (boots.empty() ? "]}\n" : "\n]}\n");
}

} // namespace port_log
