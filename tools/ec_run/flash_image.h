// SPDX-License-Identifier: BSD-2-Clause-Patent
// A platform's whole boot-flash image, mapped as the chipset maps the boot
// flash: its last byte at 4 GiB - 1. The updater finds the EC image at the
// address it was built with (0xFF660000 by default) inside that window, so the
// file offset follows from the size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/ec_protocol.h"

namespace ec_run {

// Larger images are not mapped below 4 GiB whole on the platforms this runs for.
inline constexpr uint64_t kLargestFlashImage = uint64_t{64} << 20;

struct FlashMapping {
  uint64_t base = 0;      // the address of the file's first byte
  uint64_t ec_offset = 0; // the file offset of the EC image
};

// Throws InputError (naming `what`) for a size that is not a power of two,
// that does not reach down to the EC image, or that is larger than
// kLargestFlashImage.
FlashMapping MapFlashImage(uint64_t size, const std::string& what,
                           uint64_t ec_image_base = sim::kBootFlashBase);

struct FlashImage {
  std::vector<uint8_t> bytes;
  FlashMapping mapping;
  std::vector<uint8_t> ec_image; // the 128 KiB the updater will read
};

// Throws InputError as MapFlashImage does, and for an EC region that is
// erased (all 0xFF).
FlashImage LoadFlashImage(const std::string& path, uint64_t ec_image_base = sim::kBootFlashBase);

} // namespace ec_run
