// SPDX-License-Identifier: BSD-2-Clause-Patent
// A PE32+ EFI driver image: its headers checked and its sections and base
// relocations found, then laid out in memory at any load address. Every way a
// file can be unusable ends in an ImageError with a one-line reason.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace image_bench {

struct ImageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Section {
  std::string name;
  uint32_t rva = 0;
  uint32_t virtual_size = 0;
  uint32_t raw_offset = 0;
  uint32_t raw_size = 0;
  uint32_t characteristics = 0;
};

struct PeImage {
  uint64_t image_base = 0;
  uint32_t size_of_image = 0;
  uint32_t size_of_headers = 0;
  uint32_t entry_rva = 0;
  uint32_t section_alignment = 0;
  uint32_t relocation_rva = 0;
  uint32_t relocation_size = 0;
  std::vector<Section> sections;
};

// Checks a driver image: PE32+, x86-64, EFI boot-service driver, an entry
// point in executable code, base relocations, sections inside the file.
PeImage ParsePeImage(std::span<const uint8_t> file);

// The image as it lies in memory at load_address: headers and sections at
// their RVAs, the rest zero, every DIR64 relocation moved by the difference
// between load_address and the preferred ImageBase.
struct LoadedImage {
  std::vector<uint8_t> memory; // SizeOfImage bytes
  uint64_t load_address = 0;
  size_t relocations_applied = 0;
};
LoadedImage LayOut(const PeImage& image, std::span<const uint8_t> file, uint64_t load_address);

// The access each page of the loaded image allows, as section characteristics
// (read, write, execute bits): what its sections ask for, read-only where
// only headers lie. Sections aligned below a page (0x40 from EDK II's ELF
// toolchains, 0x20 from its CLANGPDB) share pages; as under the DXE core,
// which protects sections apart only when they are page aligned, a shared
// page allows what any of its sections asks for.
std::vector<uint32_t> PageAccess(const PeImage& image, uint64_t page_size);

// The whole file; an unreadable file is an ImageError too.
std::vector<uint8_t> ReadFileBytes(const std::string& path);

} // namespace image_bench
