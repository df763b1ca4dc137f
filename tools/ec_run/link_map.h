// SPDX-License-Identifier: BSD-2-Clause-Patent
// The linker's map of a driver image (written beside it as NAME.map), read
// for its public symbols, to say which routine an instruction address
// belongs to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ec_run {

struct MapSymbol {
  uint32_t rva;
  std::string name;
};

// Symbols sorted by address; empty when there is no readable map.
std::vector<MapSymbol> ReadLinkMap(const std::string& path, uint64_t image_base);

struct RoutineCost {
  std::string name;
  uint64_t instructions;
};

// Executions per RVA summed per routine (the nearest symbol at or below),
// largest first.
std::vector<RoutineCost> CostByRoutine(const std::vector<uint64_t>& profile,
                                       const std::vector<MapSymbol>& symbols);

} // namespace ec_run
