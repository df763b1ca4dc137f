// SPDX-License-Identifier: BSD-2-Clause-Patent
// Lays a checked image out at its load address and applies its base
// relocations there, as a firmware loader does.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "sim/hex_text.h"
#include "tools/image_bench/byte_reader.h"
#include "tools/image_bench/pe_format.h"
#include "tools/image_bench/pe_image.h"

namespace image_bench {

using sim::Hex;

namespace {

size_t ApplyRelocations(const PeImage& image, std::vector<uint8_t>& memory, uint64_t delta) {
  const ByteReader loaded(memory, "image");
  size_t applied = 0;
  uint64_t block = image.relocation_rva;
  const uint64_t end = block + image.relocation_size;
  while (block + pe::kRelocationBlockHeaderSize <= end) {
    const auto page = loaded.Read<uint32_t>(block);
    const auto size = loaded.Read<uint32_t>(block + sizeof(uint32_t));
    if (size < pe::kRelocationBlockHeaderSize || size % sizeof(uint16_t) != 0 ||
        block + size > end) {
      throw ImageError("base relocation block at " + Hex(block) + " has a bad size " + Hex(size));
    }
    for (uint64_t at = block + pe::kRelocationBlockHeaderSize; at < block + size;
         at += sizeof(uint16_t)) {
      const auto entry = loaded.Read<uint16_t>(at);
      const auto type = static_cast<uint16_t>(entry >> pe::kRelocationTypeShift);
      const uint64_t target = uint64_t{page} + (entry & pe::kRelocationOffsetMask);
      if (type == pe::kRelocationAbsolute) {
        continue;
      }
      if (type != pe::kRelocationDir64) {
        throw ImageError("unsupported base relocation type " + std::to_string(type) + " at " +
                         Hex(target));
      }
      if (!loaded.Holds(target, sizeof(uint64_t))) {
        throw ImageError("base relocation at " + Hex(target) + " points outside the image");
      }
      const uint64_t value = loaded.Read<uint64_t>(target) + delta;
      std::copy_n(reinterpret_cast<const uint8_t*>(&value), sizeof value, memory.begin() + target);
      ++applied;
    }
    block += size;
  }
  return applied;
}

} // namespace

LoadedImage LayOut(const PeImage& image, std::span<const uint8_t> file, uint64_t load_address) {
  LoadedImage loaded;
  loaded.load_address = load_address;
  loaded.memory.assign(image.size_of_image, 0);
  std::copy_n(file.begin(), image.size_of_headers, loaded.memory.begin());
  for (const Section& s : image.sections) {
    // Data beyond the virtual size is file padding; the rest of the virtual
    // size stays zero (uninitialised data).
    const uint32_t copied = s.virtual_size == 0 ? s.raw_size : std::min(s.raw_size, s.virtual_size);
    std::copy_n(file.begin() + s.raw_offset, copied, loaded.memory.begin() + s.rva);
  }
  loaded.relocations_applied =
      ApplyRelocations(image, loaded.memory, load_address - image.image_base);
  return loaded;
}

std::vector<uint32_t> PageAccess(const PeImage& image, uint64_t page_size) {
  constexpr uint32_t kAccess = pe::kSectionRead | pe::kSectionWrite | pe::kSectionExecute;
  const uint64_t pages = (uint64_t{image.size_of_image} + page_size - 1) / page_size;
  std::vector<std::optional<uint32_t>> asked(pages);
  for (const Section& s : image.sections) {
    const uint64_t end = s.rva + uint64_t{s.virtual_size != 0 ? s.virtual_size : s.raw_size};
    for (uint64_t page = s.rva / page_size; s.rva < end && page * page_size < end; ++page) {
      asked[page] = asked[page].value_or(0) | (s.characteristics & kAccess);
    }
  }
  std::vector<uint32_t> access;
  for (const auto& page : asked) {
    access.push_back(page.value_or(pe::kSectionRead));
  }
  return access;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw ImageError("cannot open " + path);
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace image_bench
