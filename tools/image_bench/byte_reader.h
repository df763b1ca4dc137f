// SPDX-License-Identifier: BSD-2-Clause-Patent
// Little-endian field reads from a byte buffer that fail with an ImageError
// instead of reading past its end, so a crafted or cut file cannot crash the
// loader.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "tools/image_bench/pe_image.h"

namespace image_bench {

class ByteReader {
public:
  ByteReader(std::span<const uint8_t> bytes, const char* what) : bytes_(bytes), what_(what) {}

  [[nodiscard]] bool Holds(uint64_t offset, uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }

  template <typename T> [[nodiscard]] T Read(uint64_t offset) const {
    if (!Holds(offset, sizeof(T))) {
      throw ImageError(std::string("truncated: ") + what_ + " ends at byte " +
                       std::to_string(bytes_.size()) + ", field at " + std::to_string(offset) +
                       " needed");
    }
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof(T)); // hosts and images are little-endian
    return value;
  }

private:
  std::span<const uint8_t> bytes_;
  const char* what_;
};

} // namespace image_bench
