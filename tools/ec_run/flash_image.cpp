// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/flash_image.h"

#include <algorithm>
#include <bit>

#include "sim/flash_protocol.h"
#include "sim/hex_text.h"
#include "sim/platform.h"
#include "tools/ec_run/report_text.h"
#include "tools/ec_run/run_command.h"
#include "tools/image_bench/memory_map.h"

namespace ec_run {

FlashMapping MapFlashImage(uint64_t size, const std::string& what, uint64_t ec_image_base) {
  const uint64_t needed = image_bench::kBootFlashEnd - ec_image_base;
  const uint64_t smallest = std::bit_ceil(needed);
  const std::string smallest_text = smallest >= (uint64_t{1} << 20)
                                        ? std::to_string(smallest >> 20) + " MiB"
                                        : std::to_string(smallest >> 10) + " KiB";
  const std::string has = what + ": " + Grouped(size) + " bytes; ";
  if (size == 0 || (size & (size - 1)) != 0) {
    throw InputError(has + "a boot-flash image is a power of two in size");
  }
  if (size < needed) {
    throw InputError(has + "mapped to end at 4 GiB it starts at " +
                     sim::Hex(image_bench::kBootFlashEnd - size) + ", above the EC image at " +
                     sim::Hex(ec_image_base) + " (a boot-flash image needs at least " +
                     smallest_text + ")");
  }
  if (size > kLargestFlashImage) {
    throw InputError(has + "more than the " + Grouped(kLargestFlashImage) +
                     " bytes (64 MiB) of boot flash mapped below 4 GiB");
  }
  const uint64_t base = image_bench::kBootFlashEnd - size;
  return {base, ec_image_base - base};
}

FlashImage LoadFlashImage(const std::string& path, uint64_t ec_image_base) {
  FlashImage image;
  image.bytes = ReadInputFile(path);
  image.mapping = MapFlashImage(image.bytes.size(), path, ec_image_base);
  const auto first = image.bytes.begin() + static_cast<std::ptrdiff_t>(image.mapping.ec_offset);
  image.ec_image.assign(first, first + sim::kEcImageSize);
  // No EC firmware is all 0xFF: such a region was never programmed (a layout
  // that puts the EC elsewhere), and the updater would copy it into the EC's
  // flash, leaving an EC that cannot start, and report success.
  if (std::ranges::all_of(image.ec_image, [](uint8_t byte) { return byte == sim::kFlashErased; })) {
    throw InputError(path + ": the EC region at file offset " + sim::Hex(image.mapping.ec_offset) +
                     " (" + sim::Hex(image.mapping.base + image.mapping.ec_offset) +
                     ") is erased (all 0xFF); the updater would program that into the EC");
  }
  return image;
}

} // namespace ec_run
