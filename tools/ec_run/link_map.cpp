// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/link_map.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace ec_run {

namespace {
constexpr size_t kAddressDigits = 16; // the "Rva+Base" column
}

std::vector<MapSymbol> ReadLinkMap(const std::string& path, uint64_t image_base) {
  std::vector<MapSymbol> symbols;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string section, name, address;
    if (!(fields >> section >> name >> address) || address.size() != kAddressDigits ||
        address.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      continue;
    }
    const uint64_t value = std::stoull(address, nullptr, 16);
    if (value >= image_base) {
      symbols.push_back(MapSymbol{static_cast<uint32_t>(value - image_base), name});
    }
  }
  std::sort(symbols.begin(), symbols.end(),
            [](const MapSymbol& a, const MapSymbol& b) { return a.rva < b.rva; });
  return symbols;
}

std::vector<RoutineCost> CostByRoutine(const std::vector<uint64_t>& profile,
                                       const std::vector<MapSymbol>& symbols) {
  std::map<std::string, uint64_t> totals;
  for (uint32_t rva = 0; rva < profile.size(); ++rva) {
    if (profile[rva] == 0) {
      continue;
    }
    auto after = std::upper_bound(symbols.begin(), symbols.end(), rva,
                                  [](uint32_t r, const MapSymbol& s) { return r < s.rva; });
    totals[after == symbols.begin() ? "(no symbol)" : std::prev(after)->name] += profile[rva];
  }
  std::vector<RoutineCost> costs;
  for (const auto& [name, count] : totals) {
    costs.push_back(RoutineCost{name, count});
  }
  std::sort(costs.begin(), costs.end(), [](const RoutineCost& a, const RoutineCost& b) {
    return a.instructions > b.instructions;
  });
  return costs;
}

} // namespace ec_run
