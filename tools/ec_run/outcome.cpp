// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/outcome.h"

#include <algorithm>

namespace ec_run {

namespace {
constexpr uint64_t kSkipRow = 13;
}

std::optional<sim::Ending> ObservedEnding(const sim::Scenario& scenario, const sim::RunRecord& run,
                                          const FlashWatch& flash) {
  if (!run.stopped.empty()) {
    return std::nullopt;
  }
  if (scenario.driver == sim::Driver::Guard) {
    if (run.reset_system && run.reset_system->type == EfiResetShutdown) {
      return sim::Ending::GuardPoweredOff;
    }
    return run.log.empty() ? sim::Ending::GuardNotRun : sim::Ending::GuardPassed;
  }
  if (run.console.empty() && run.log.empty()) {
    return sim::Ending::NoRequest;
  }
  if (std::any_of(run.console.begin(), run.console.end(),
                  [](const sim::ConsoleOutput& out) { return out.row == kSkipRow; })) {
    return sim::Ending::Skipped;
  }
  if (!run.reset_port_written) {
    return std::nullopt;
  }
  if (flash.verified() == kEcBlocks) {
    return sim::Ending::Updated;
  }
  return flash.erased() == 0 ? sim::Ending::InitFailed : sim::Ending::UpdateFailed;
}

} // namespace ec_run
