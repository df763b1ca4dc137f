// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec_run: the delivered driver images on an emulated CPU against the
// simulated EC platform. See UsageText() or `ec_run --help`.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/ec_run/bench_report.h"
#include "tools/ec_run/firmware_plan.h"
#include "tools/ec_run/options.h"
#include "tools/ec_run/run_command.h"

namespace {
constexpr int kExitBadInput = 2;
constexpr int kExitFailure = 1;
} // namespace

int main(int argc, char** argv) {
  try {
    const ec_run::Options options = ec_run::ParseOptions({argv + 1, argv + argc});
    const bool run =
        options.command == ec_run::Command::Run || options.command == ec_run::Command::Guard;
    if (options.firmware_plan && run) {
      return ec_run::WriteFirmwarePlan(options);
    }
    switch (options.command) {
    case ec_run::Command::Help:
      std::fputs(
          (options.firmware_plan ? ec_run::FirmwareUsageText() : ec_run::UsageText()).c_str(),
          stdout);
      return 0;
    case ec_run::Command::List:
      return ec_run::ListScenarios();
    case ec_run::Command::Guard:
      return ec_run::RunGuard(options);
    case ec_run::Command::Bench:
      return ec_run::RunBench(options);
    case ec_run::Command::Run:
      return ec_run::RunScenario(options);
    }
  } catch (const ec_run::UsageError& e) {
    std::fprintf(stderr, "ec_run: %s\n", e.what());
    return kExitBadInput;
  } catch (const ec_run::InputError& e) {
    std::fprintf(stderr, "ec_run: %s\n", e.what());
    return kExitBadInput;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ec_run: %s\n", e.what());
  }
  return kExitFailure;
}
