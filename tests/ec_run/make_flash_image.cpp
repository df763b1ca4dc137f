// SPDX-License-Identifier: BSD-2-Clause-Patent
// Writes a boot-flash image for the ec_run tests: random bytes, with an EC
// image (the catalogue's random one) at the given file offset.
//   make_flash_image PATH SIZE EC_OFFSET
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "sim/scenario.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_flash_image PATH SIZE EC_OFFSET\n");
    return 2;
  }
  const size_t size = std::strtoull(argv[2], nullptr, 0);
  const size_t offset = std::strtoull(argv[3], nullptr, 0);
  std::vector<uint8_t> flash(size);
  std::mt19937 random(0xF1A5);
  for (uint8_t& byte : flash) {
    byte = static_cast<uint8_t>(random());
  }
  const std::vector<uint8_t> ec = sim::RandomImage(1);
  if (offset + ec.size() <= size) {
    std::copy(ec.begin(), ec.end(), flash.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  FILE* file = std::fopen(argv[1], "wb");
  const bool written = file != nullptr && std::fwrite(flash.data(), 1, size, file) == size;
  return (file != nullptr && std::fclose(file) == 0 && written) ? 0 : 1;
}
