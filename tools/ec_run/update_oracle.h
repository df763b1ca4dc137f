// SPDX-License-Identifier: BSD-2-Clause-Patent
// What a boot that runs the full update must put on the ports, from the
// project's one oracle (the protocol's sequence, sim::StreamTrace): for the
// catalogue's update scenario, with the EC image the boot flash holds and the
// waits stretched as the EC model's settings file makes them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "sim/expectation.h"
#include "sim/scenario.h"

namespace ec_run {

struct Oracle {
  sim::Scenario scenario;
  sim::WaitTiming timing;
  [[nodiscard]] bool busy() const;
  void Stream(const std::function<void(const sim::PortAccess&)>& sink) const;
};

// settings: an EC model settings file; ec_image: the 128 KiB the updater
// reads from the boot flash. InputError for a file that cannot be
// used, and for settings that make the update end otherwise (faults, another
// flash identification, a handshake that is not ready at once).
Oracle OracleFor(const std::optional<std::string>& settings,
                 const std::optional<std::string>& ec_image);

// The step the classifier names for access `index` of the oracle's sequence.
std::string StepAt(const Oracle& oracle, uint64_t index);

// Where block `block`'s erase step starts in the never-busy sequence.
uint64_t BlockStart(unsigned block);

} // namespace ec_run
