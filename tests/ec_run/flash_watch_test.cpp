// SPDX-License-Identifier: BSD-2-Clause-Patent
// The flash watch reads block progress off the port traffic alone: fed the
// port sequences the simulator derives for each scenario, it counts the
// erases and the verified read-backs the protocol description implies.
#include <gtest/gtest.h>

#include "sim/expectation.h"
#include "tools/ec_run/flash_watch.h"

namespace {

struct Case {
  const char* scenario;
  unsigned erased;
  unsigned verified;
};

TEST(FlashWatch, CountsErasedAndVerifiedBlocksOfEachScenario) {
  const Case cases[] = {
      {"update", 128, 128},        {"all-ff-image", 128, 128}, // blank checks are no verifies
      {"blank-check-fault", 6, 5}, {"verify-fault", 101, 100}, {"wrong-id", 0, 0},
      {"ec-never-ready", 0, 0},    {"skip-q", 0, 0},           {"guard-continue", 0, 0},
  };
  for (const Case& c : cases) {
    const sim::Scenario& scenario = *sim::FindScenario(c.scenario);
    ec_run::FlashWatch watch(scenario.platform.ec_image);
    unsigned changes = 0;
    unsigned last_verified = 0;
    watch.on_change = [&](const ec_run::FlashWatch& w) {
      ++changes;
      EXPECT_LE(w.verified(), w.erased()) << c.scenario;
      EXPECT_GE(w.verified(), last_verified) << c.scenario;
      last_verified = w.verified();
    };
    for (const sim::PortAccess& access : sim::Expect(scenario).trace) {
      watch.See(access);
    }
    EXPECT_EQ(watch.erased(), c.erased) << c.scenario;
    EXPECT_EQ(watch.verified(), c.verified) << c.scenario;
    EXPECT_EQ(changes, c.erased + c.verified) << c.scenario;
  }
}

// Read-backs are judged against the image given, not against whatever the
// driver wrote.
TEST(FlashWatch, CountsNoBlockThatDiffersFromTheImage) {
  const sim::Scenario& scenario = *sim::FindScenario("update");
  std::vector<uint8_t> other = scenario.platform.ec_image;
  other[sim::kEcBlockSize * 7 + 3] ^= 0x10;
  ec_run::FlashWatch watch(other);
  for (const sim::PortAccess& access : sim::Expect(scenario).trace) {
    watch.See(access);
  }
  EXPECT_EQ(watch.erased(), 128u);
  EXPECT_EQ(watch.verified(), 127u);
}

} // namespace
