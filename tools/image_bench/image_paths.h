// SPDX-License-Identifier: BSD-2-Clause-Patent
// Where the driver images are found: the image build's output directory,
// chosen at configure time (EC_IMAGE_DIR), or another build's (the
// environment's EC_IMAGE_DIR: EDK II's, for its images on the bench).
#pragma once

#include <string>

#include "sim/image_settings.h"
#include "sim/scenario.h"

namespace image_bench {

inline constexpr const char* kUpdaterImageName = "ec_flash_updater.efi";
inline constexpr const char* kGuardImageName = "ec_threshold_guard.efi";

std::string ImageDirectory();
// The delivered image that runs a scenario's driver.
std::string DriverImagePath(sim::Driver driver);

// What an image was built with, from the record its build writes beside it
// (NAME.settings next to NAME.efi); the defaults when there is none. An
// unreadable or bad record is an ImageError naming the file.
sim::ImageSettings ImageSettingsOf(const std::string& image_path);

} // namespace image_bench
