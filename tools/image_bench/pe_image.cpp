// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/image_bench/pe_image.h"

#include "sim/hex_text.h"
#include "tools/image_bench/byte_reader.h"
#include "tools/image_bench/pe_format.h"

namespace image_bench {

using sim::Hex;

namespace {

// Anything larger is no boot-service driver; refusing it also keeps a crafted
// header from asking for gigabytes.
constexpr uint32_t kMaxImageSize = 64u << 20;

uint64_t NewHeaderOffset(const ByteReader& file, size_t file_size) {
  if (file_size < pe::kDosHeaderSize) {
    throw ImageError("not a PE image: " + std::to_string(file_size) +
                     " bytes, shorter than a DOS header");
  }
  if (file.Read<uint16_t>(0) != pe::kDosMagic) {
    throw ImageError("not a PE image: no MZ signature");
  }
  const uint64_t offset = file.Read<uint32_t>(pe::kNewHeaderOffsetField);
  if (!file.Holds(offset, pe::kSignatureSize + pe::kFileHeaderSize)) {
    throw ImageError("truncated: PE header at " + Hex(offset) + " lies past the end of the file");
  }
  if (file.Read<uint32_t>(offset) != pe::kPeSignature) {
    throw ImageError("not a PE image: no PE signature at " + Hex(offset));
  }
  return offset;
}

void CheckFileHeader(const ByteReader& file, uint64_t header) {
  const auto machine = file.Read<uint16_t>(header + pe::kMachineField);
  if (machine != pe::kMachineX64) {
    throw ImageError("machine " + Hex(machine) + " is not x86-64 (0x8664)");
  }
  if ((file.Read<uint16_t>(header + pe::kCharacteristicsField) & pe::kRelocsStripped) != 0) {
    throw ImageError("relocations stripped: the image can only load at its preferred base");
  }
}

void ReadOptionalHeader(const ByteReader& file, uint64_t optional, PeImage& image) {
  const auto magic = file.Read<uint16_t>(optional + pe::kMagicField);
  if (magic != pe::kMagicPe32Plus) {
    throw ImageError("optional header magic " + Hex(magic) +
                     (magic == pe::kMagicPe32 ? " is PE32, not PE32+" : " is not PE32+ (0x20B)"));
  }
  const auto subsystem = file.Read<uint16_t>(optional + pe::kSubsystemField);
  if (subsystem != pe::kSubsystemEfiBootServiceDriver) {
    throw ImageError("subsystem " + std::to_string(subsystem) +
                     " is not an EFI boot-service driver (11)");
  }
  image.entry_rva = file.Read<uint32_t>(optional + pe::kEntryPointField);
  image.image_base = file.Read<uint64_t>(optional + pe::kImageBaseField);
  image.section_alignment = file.Read<uint32_t>(optional + pe::kSectionAlignmentField);
  image.size_of_image = file.Read<uint32_t>(optional + pe::kSizeOfImageField);
  image.size_of_headers = file.Read<uint32_t>(optional + pe::kSizeOfHeadersField);
  if (image.size_of_image == 0 || image.size_of_image > kMaxImageSize) {
    throw ImageError("SizeOfImage " + Hex(image.size_of_image) + " is not a driver's size");
  }
  if (image.size_of_headers > image.size_of_image || !file.Holds(0, image.size_of_headers)) {
    throw ImageError("truncated: SizeOfHeaders " + Hex(image.size_of_headers) +
                     " runs past the file or the image");
  }
  const auto directories = file.Read<uint32_t>(optional + pe::kDirectoryCountField);
  if (directories > pe::kBaseRelocationDirectory) {
    const uint64_t entry =
        optional + pe::kDirectoriesField + pe::kBaseRelocationDirectory * pe::kDirectoryEntrySize;
    image.relocation_rva = file.Read<uint32_t>(entry);
    image.relocation_size = file.Read<uint32_t>(entry + sizeof(uint32_t));
  }
  if (image.relocation_size == 0) {
    throw ImageError("no base relocations: the image cannot be loaded away from its base");
  }
  if (uint64_t{image.relocation_rva} + image.relocation_size > image.size_of_image) {
    throw ImageError("base relocation directory lies outside the image");
  }
}

Section ReadSection(const ByteReader& file, uint64_t at, const PeImage& image) {
  Section s;
  for (size_t i = 0; i < pe::kSectionNameSize; ++i) {
    const auto c = file.Read<char>(at + i);
    if (c == '\0') {
      break;
    }
    s.name.push_back(c);
  }
  s.virtual_size = file.Read<uint32_t>(at + pe::kVirtualSizeField);
  s.rva = file.Read<uint32_t>(at + pe::kVirtualAddressField);
  s.raw_size = file.Read<uint32_t>(at + pe::kRawSizeField);
  s.raw_offset = file.Read<uint32_t>(at + pe::kRawPointerField);
  s.characteristics = file.Read<uint32_t>(at + pe::kSectionCharacteristicsField);
  if (s.raw_size != 0 && !file.Holds(s.raw_offset, s.raw_size)) {
    throw ImageError("truncated: section " + s.name + " data " + Hex(s.raw_offset) + "+" +
                     Hex(s.raw_size) + " runs past the end of the file");
  }
  const uint64_t extent = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
  if (s.rva < image.size_of_headers || s.rva + extent > image.size_of_image) {
    throw ImageError("section " + s.name + " at " + Hex(s.rva) + " lies outside the image");
  }
  return s;
}

void CheckEntryPoint(const PeImage& image) {
  if (image.entry_rva == 0) {
    throw ImageError("no entry point");
  }
  for (const Section& s : image.sections) {
    if ((s.characteristics & pe::kSectionExecute) != 0 && image.entry_rva >= s.rva &&
        image.entry_rva < s.rva + s.virtual_size) {
      return;
    }
  }
  throw ImageError("entry point " + Hex(image.entry_rva) + " lies in no executable section");
}

} // namespace

PeImage ParsePeImage(std::span<const uint8_t> bytes) {
  const ByteReader file(bytes, "file");
  const uint64_t header = NewHeaderOffset(file, bytes.size()) + pe::kSignatureSize;
  CheckFileHeader(file, header);
  const uint64_t optional = header + pe::kFileHeaderSize;
  PeImage image;
  ReadOptionalHeader(file, optional, image);
  const uint64_t table = optional + file.Read<uint16_t>(header + pe::kOptionalHeaderSizeField);
  const auto count = file.Read<uint16_t>(header + pe::kSectionCountField);
  for (uint16_t i = 0; i < count; ++i) {
    image.sections.push_back(ReadSection(file, table + i * pe::kSectionHeaderSize, image));
  }
  CheckEntryPoint(image);
  return image;
}

} // namespace image_bench
