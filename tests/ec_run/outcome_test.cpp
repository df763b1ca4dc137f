// SPDX-License-Identifier: BSD-2-Clause-Patent
// The ending ec_run reads off a run agrees with the ending the protocol
// description predicts, for every catalogue scenario run on the host-built
// drivers.
#include <gtest/gtest.h>

#include "sim/expectation.h"
#include "sim/native_runner.h"
#include "tools/ec_run/outcome.h"

namespace {

TEST(ObservedEnding, AgreesWithTheExpectationForEveryScenario) {
  for (const sim::Scenario& scenario : sim::Catalogue()) {
    const sim::RunRecord run = sim::RunNative(scenario);
    ec_run::FlashWatch watch(scenario.platform.ec_image);
    for (const sim::PortAccess& access : run.log) {
      watch.See(access);
    }
    const std::optional<sim::Ending> seen = ec_run::ObservedEnding(scenario, run, watch);
    ASSERT_TRUE(seen.has_value()) << scenario.name;
    EXPECT_STREQ(sim::EndingName(*seen), sim::EndingName(sim::Expect(scenario).ending))
        << scenario.name;
  }
}

TEST(ObservedEnding, IsNoneForAStoppedRun) {
  const sim::Scenario& scenario = *sim::FindScenario("update");
  sim::RunRecord run;
  run.stopped = "port access limit of 10 reached";
  run.reset_port_written = true;
  const ec_run::FlashWatch watch(scenario.platform.ec_image);
  EXPECT_FALSE(ec_run::ObservedEnding(scenario, run, watch).has_value());
}

} // namespace
