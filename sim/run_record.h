// SPDX-License-Identifier: BSD-2-Clause-Patent
// What every runner shares around a driver, whichever way the driver runs
// (host-built or its delivered image on the emulated CPU): the fake
// firmware set up as the scenario says, and the record of what the run did.
// Apart from the drivers, so that a runner of the images links no driver code.
#pragma once

#include "sim/expectation.h"
#include "sim/fake_firmware.h"
#include "sim/platform.h"
#include "sim/scenario.h"

namespace sim {

// The machine set-up every runner shares: Setup, keys and fault knobs.
void PrepareFirmware(const Scenario& scenario, FakeFirmware& firmware);
RunRecord Record(const Platform& platform, const FakeFirmware& firmware);

} // namespace sim
