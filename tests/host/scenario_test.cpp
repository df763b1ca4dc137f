// SPDX-License-Identifier: BSD-2-Clause-Patent
// Every catalogue scenario, run on the host-built drivers, must match what the
// protocol description says: console rows, the whole port sequence, Setup
// afterwards, flash contents, restart or power-off, virtual time.
#include <gtest/gtest.h>

#include <set>

#include "sim/expectation.h"
#include "sim/native_runner.h"

namespace sim {
void PrintTo(const Scenario& scenario, std::ostream* os) {
  *os << scenario.name;
}
} // namespace sim

namespace {

class CatalogueScenario : public testing::TestWithParam<sim::Scenario> {};

TEST_P(CatalogueScenario, MatchesTheProtocol) {
  const sim::Scenario& scenario = GetParam();
  const sim::Expectation expected = sim::Expect(scenario);
  const sim::RunRecord run = sim::RunNative(scenario);
  for (const std::string& fault : sim::Check(scenario, expected, run)) {
    ADD_FAILURE() << scenario.name << ": " << fault;
  }
}

INSTANTIATE_TEST_SUITE_P(Host, CatalogueScenario, testing::ValuesIn(sim::Catalogue()),
                         [](const testing::TestParamInfo<sim::Scenario>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

// The catalogue must exercise every way the drivers can end.
TEST(Catalogue, CoversEveryEnding) {
  std::set<sim::Ending> seen;
  for (const sim::Scenario& s : sim::Catalogue()) {
    seen.insert(sim::Expect(s).ending);
  }
  EXPECT_EQ(seen.size(), 8u);
}

} // namespace
