// SPDX-License-Identifier: BSD-2-Clause-Patent
// Attributing executed instructions to routines by the linker's map.
#include <gtest/gtest.h>

#include "tests/image_bench/image_files.h"
#include "tools/ec_run/link_map.h"

namespace {

TEST(LinkMap, SumsExecutionsPerRoutineLargestFirst) {
  const std::vector<ec_run::MapSymbol> symbols = {{0x1000, "A"}, {0x1010, "B"}, {0x1020, "C"}};
  std::vector<uint64_t> profile(0x1030, 0);
  profile[0x0800] = 1;  // below every symbol
  profile[0x1000] = 5;  // A
  profile[0x100F] = 5;  // A, last byte before B
  profile[0x1010] = 20; // B
  profile[0x102F] = 3;  // C
  const std::vector<ec_run::RoutineCost> costs = ec_run::CostByRoutine(profile, symbols);
  ASSERT_EQ(costs.size(), 4u);
  EXPECT_EQ(costs[0].name, "B");
  EXPECT_EQ(costs[0].instructions, 20u);
  EXPECT_EQ(costs[1].name, "A");
  EXPECT_EQ(costs[1].instructions, 10u);
  EXPECT_EQ(costs[2].name, "C");
  EXPECT_EQ(costs[3].name, "(no symbol)");
}

// The map written beside the delivered image names the entry point where the
// PE header puts it.
TEST(LinkMap, PlacesTheEntryPointWhereTheHeaderSaysItIs) {
  const std::vector<uint8_t> file = image_test::DeliveredImage(sim::Driver::Updater);
  ASSERT_FALSE(file.empty());
  const image_bench::PeImage image = image_bench::ParsePeImage(file);
  std::string map = image_bench::DriverImagePath(sim::Driver::Updater);
  map.replace(map.size() - 4, 4, ".map");
  const std::vector<ec_run::MapSymbol> symbols = ec_run::ReadLinkMap(map, image.image_base);
  const auto entry = std::find_if(symbols.begin(), symbols.end(), [](const ec_run::MapSymbol& s) {
    return s.name == "UpdaterEntry";
  });
  ASSERT_NE(entry, symbols.end()) << map;
  EXPECT_EQ(entry->rva, image.entry_rva);
  EXPECT_TRUE(std::is_sorted(symbols.begin(), symbols.end(),
                             [](const auto& a, const auto& b) { return a.rva < b.rva; }));
}

} // namespace
