// SPDX-License-Identifier: BSD-2-Clause-Patent
// How a run ended, read off what the machine did (console rows, ports, reset
// requests, the flash traffic), to set beside the ending the protocol
// description predicts.
#pragma once

#include <optional>

#include "sim/expectation.h"
#include "tools/ec_run/flash_watch.h"

namespace ec_run {

inline constexpr unsigned kEcBlocks = sim::kEcBlocks;

// Empty when the run was stopped before it reached any ending.
std::optional<sim::Ending> ObservedEnding(const sim::Scenario& scenario, const sim::RunRecord& run,
                                          const FlashWatch& flash);

} // namespace ec_run
