// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/image_bench/image_paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/image_bench/pe_image.h"

namespace image_bench {

std::string ImageDirectory() {
  const char* chosen = std::getenv("EC_IMAGE_DIR");
  return chosen != nullptr && *chosen != '\0' ? chosen : EC_IMAGE_DIR;
}

std::string DriverImagePath(sim::Driver driver) {
  return ImageDirectory() + "/" +
         (driver == sim::Driver::Updater ? kUpdaterImageName : kGuardImageName);
}

sim::ImageSettings ImageSettingsOf(const std::string& image_path) {
  const std::filesystem::path record =
      std::filesystem::path(image_path).replace_extension(".settings");
  if (!std::filesystem::exists(record)) {
    return {};
  }
  std::ifstream in(record);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) {
    throw ImageError("cannot read " + record.string());
  }
  try {
    return sim::ParseImageSettings(text.str());
  } catch (const std::invalid_argument& e) {
    throw ImageError(record.string() + ": " + e.what());
  }
}

} // namespace image_bench
