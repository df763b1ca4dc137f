// SPDX-License-Identifier: BSD-2-Clause-Patent
// The delivered driver images, read for tests that run or patch them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/image_bench/image_paths.h"
#include "tools/image_bench/pe_image.h"

namespace image_test {

// Fails the calling test (fatally, through the returned empty vector) when
// the images have not been built.
inline std::vector<uint8_t> DeliveredImage(sim::Driver driver) {
  const std::string path = image_bench::DriverImagePath(driver);
  try {
    return image_bench::ReadFileBytes(path);
  } catch (const image_bench::ImageError& e) {
    ADD_FAILURE() << e.what()
                  << " (build the images: cmake --preset image && cmake --build --preset image)";
    return {};
  }
}

// Where the byte at an RVA lies in the file.
inline std::optional<size_t> FileOffset(const image_bench::PeImage& image, uint32_t rva) {
  for (const image_bench::Section& s : image.sections) {
    if (rva >= s.rva && rva < s.rva + s.raw_size) {
      return s.raw_offset + (rva - s.rva);
    }
  }
  return std::nullopt;
}

// The first place the bytes occur in the file.
inline std::optional<size_t> Find(const std::vector<uint8_t>& file,
                                  const std::vector<uint8_t>& bytes) {
  const auto at = std::search(file.begin(), file.end(), bytes.begin(), bytes.end());
  return at == file.end() ? std::nullopt : std::optional<size_t>(at - file.begin());
}

} // namespace image_test
