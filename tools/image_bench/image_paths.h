// SPDX-License-Identifier: BSD-2-Clause-Patent
// Where the driver images are found: the image build's output directory,
// chosen at configure time (EC_IMAGE_DIR).
#pragma once

#include <string>

#include "sim/scenario.h"

namespace image_bench {

inline constexpr const char* kUpdaterImageName = "ec_flash_updater.efi";
inline constexpr const char* kGuardImageName = "ec_threshold_guard.efi";

std::string ImageDirectory();
// The delivered image that runs a scenario's driver.
std::string DriverImagePath(sim::Driver driver);

} // namespace image_bench
