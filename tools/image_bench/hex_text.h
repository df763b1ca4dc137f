// Addresses and values in messages, written the way the PE/COFF and x86
// documentation write them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace image_bench {

inline std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

} // namespace image_bench
