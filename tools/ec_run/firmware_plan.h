// SPDX-License-Identifier: BSD-2-Clause-Patent
// `ec_run firmware-plan DIR ARGS...`: the command line of ./run, parsed and
// checked here, turned into what a run under the real firmware in QEMU needs
// (./run firmware): "Setup", the keys, the EC's settings, its flash and the
// EC image, and what the protocol says the run must end with.
#pragma once

#include "tools/ec_run/options.h"

namespace ec_run {

// Writes into *options.firmware_plan: plan.json (below), ec.settings (the EC
// model's settings file), ec_image.bin (the EC image the updater will read),
// ec_flash.bin (the EC flash at power-on) and expected_flash.bin (the EC
// flash the protocol leaves). UsageError for a scenario that needs what the
// firmware rig does not have; InputError for an unusable file.
int WriteFirmwarePlan(const Options& options);

} // namespace ec_run
