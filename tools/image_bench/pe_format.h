// SPDX-License-Identifier: BSD-2-Clause-Patent
// Offsets and values of the PE/COFF headers the loader reads, from the PE/COFF
// layout: DOS stub header, "PE\0\0", COFF file header, PE32+ optional header,
// section table and base relocation blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace image_bench::pe {

// DOS header.
inline constexpr uint16_t kDosMagic = 0x5A4D; // "MZ"
inline constexpr size_t kDosHeaderSize = 0x40;
inline constexpr size_t kNewHeaderOffsetField = 0x3C; // e_lfanew

// "PE\0\0" and the COFF file header that follows it.
inline constexpr uint32_t kPeSignature = 0x00004550;
inline constexpr size_t kSignatureSize = 4;
inline constexpr size_t kFileHeaderSize = 20;
inline constexpr size_t kMachineField = 0;
inline constexpr size_t kSectionCountField = 2;
inline constexpr size_t kOptionalHeaderSizeField = 16;
inline constexpr size_t kCharacteristicsField = 18;
inline constexpr uint16_t kMachineX64 = 0x8664;
inline constexpr uint16_t kRelocsStripped = 0x0001;

// PE32+ optional header.
inline constexpr uint16_t kMagicPe32Plus = 0x20B;
inline constexpr uint16_t kMagicPe32 = 0x10B;
inline constexpr size_t kMagicField = 0;
inline constexpr size_t kEntryPointField = 16;
inline constexpr size_t kImageBaseField = 24;
inline constexpr size_t kSectionAlignmentField = 32;
inline constexpr size_t kSizeOfImageField = 56;
inline constexpr size_t kSizeOfHeadersField = 60;
inline constexpr size_t kSubsystemField = 68;
inline constexpr size_t kDirectoryCountField = 108;
inline constexpr size_t kDirectoriesField = 112;
inline constexpr size_t kDirectoryEntrySize = 8;
inline constexpr uint32_t kBaseRelocationDirectory = 5;
inline constexpr uint16_t kSubsystemEfiBootServiceDriver = 11;

// Section table entries.
inline constexpr size_t kSectionHeaderSize = 40;
inline constexpr size_t kSectionNameSize = 8;
inline constexpr size_t kVirtualSizeField = 8;
inline constexpr size_t kVirtualAddressField = 12;
inline constexpr size_t kRawSizeField = 16;
inline constexpr size_t kRawPointerField = 20;
inline constexpr size_t kSectionCharacteristicsField = 36;
inline constexpr uint32_t kSectionExecute = 0x20000000;
inline constexpr uint32_t kSectionRead = 0x40000000;
inline constexpr uint32_t kSectionWrite = 0x80000000;

// Base relocation blocks: page RVA, block size, then 16-bit entries whose top
// four bits are the type and the rest the offset within the page.
inline constexpr size_t kRelocationBlockHeaderSize = 8;
inline constexpr unsigned kRelocationTypeShift = 12;
inline constexpr uint16_t kRelocationOffsetMask = 0x0FFF;
inline constexpr uint16_t kRelocationAbsolute = 0; // padding, nothing to apply
inline constexpr uint16_t kRelocationDir64 = 10;

} // namespace image_bench::pe
