// SPDX-License-Identifier: BSD-2-Clause-Patent
// Every port access the drivers make, in order: the contract with the EC is
// the exact sequence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class PortDir : uint8_t { In, Out };

struct PortAccess {
  uint16_t port;
  PortDir dir;
  uint8_t value;
  friend bool operator==(const PortAccess&, const PortAccess&) = default;
};

using PortLog = std::vector<PortAccess>;

inline PortAccess In(uint16_t port, uint8_t value) {
  return {port, PortDir::In, value};
}
inline PortAccess Out(uint16_t port, uint8_t value) {
  return {port, PortDir::Out, value};
}

std::string Describe(const PortAccess& access);

} // namespace sim
