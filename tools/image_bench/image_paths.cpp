// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/image_bench/image_paths.h"

namespace image_bench {

std::string ImageDirectory() {
  return EC_IMAGE_DIR;
}

std::string DriverImagePath(sim::Driver driver) {
  return ImageDirectory() + "/" +
         (driver == sim::Driver::Updater ? kUpdaterImageName : kGuardImageName);
}

} // namespace image_bench
