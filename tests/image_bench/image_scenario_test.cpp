// SPDX-License-Identifier: BSD-2-Clause-Patent
// Every catalogue scenario, run on the delivered driver images in the
// emulated machine, must match what the protocol description says, judged by
// the same checks as the host-built drivers.
#include <gtest/gtest.h>

#include <cctype>

#include "sim/expectation.h"
#include "tools/image_bench/emulated_runner.h"
#include "tools/image_bench/image_paths.h"

namespace sim {
void PrintTo(const Scenario& scenario, std::ostream* os) {
  *os << scenario.name;
}
} // namespace sim

namespace {

class ImageScenario : public testing::TestWithParam<sim::Scenario> {};

TEST_P(ImageScenario, MatchesTheProtocol) {
  sim::Scenario scenario = GetParam();
  const std::string image = image_bench::DriverImagePath(scenario.driver);
  sim::Expectation expected;
  sim::RunRecord run;
  try {
    // A board's build is judged by what it was built with.
    scenario.platform.image = image_bench::ImageSettingsOf(image);
    expected = sim::Expect(scenario);
    run = image_bench::RunEmulated(scenario, image);
  } catch (const image_bench::ImageError& e) {
    FAIL() << image << ": " << e.what()
           << " (build the images: cmake --preset image && cmake --build --preset image)";
  }
  for (const std::string& fault : sim::Check(scenario, expected, run)) {
    ADD_FAILURE() << scenario.name << " on " << image << ": " << fault;
  }
}

INSTANTIATE_TEST_SUITE_P(Image, ImageScenario, testing::ValuesIn(sim::Catalogue()),
                         [](const testing::TestParamInfo<sim::Scenario>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

} // namespace
