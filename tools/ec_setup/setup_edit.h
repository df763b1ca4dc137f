// SPDX-License-Identifier: BSD-2-Clause-Patent
// What each command does to the bytes of "Setup", and when it must refuse:
// only the update request, guard enable and guard threshold bytes change;
// the variable keeps its size and every other byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/ec_setup/command_line.h"

namespace ec_setup {

struct ByteChange {
  size_t offset;
  const char* name;
  uint8_t from;
  uint8_t to;
};

struct Edit {
  std::string refusal;             // empty: the edit may go ahead
  std::vector<ByteChange> changes; // only bytes whose value changes
};

Edit PlanEdit(const Options& options, std::span<const uint8_t> data);

// The data with the changes made.
std::vector<uint8_t> Apply(std::span<const uint8_t> data, const std::vector<ByteChange>& changes);

// Why the drivers would not see a variable of this size ("larger than ...");
// empty when they do.
std::string UnreadableBy(size_t data_size);

} // namespace ec_setup
