// SPDX-License-Identifier: BSD-2-Clause-Patent
// The EC model's settings file written from an EC and flash configuration:
// the text a model library loaded by another program (the emulated
// machine's EC device) parses back into the same configuration.
#pragma once

#include <string>

#include "sim/ec_model.h"
#include "sim/spi_flash.h"

namespace sim {

// One "key = value" line for every knob that differs from its default, in
// the keys of sim/ec_model_api.h; "" for a healthy, never-busy EC.
std::string SettingsText(const EcConfig& ec, const FlashConfig& flash);

} // namespace sim
