// SPDX-License-Identifier: BSD-2-Clause-Patent
// The loader accepts the delivered images and places them anywhere; every
// kind of unusable file (cut short, not PE, wrong machine or subsystem, no
// relocations...) is refused with a one-line reason, never a crash.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "tests/image_bench/image_files.h"
#include "tools/image_bench/pe_format.h"

namespace {

using image_bench::ImageError;
using image_bench::LayOut;
using image_bench::ParsePeImage;
namespace pe = image_bench::pe;

template <typename T> void Put(std::vector<uint8_t>& file, size_t at, T value) {
  ASSERT_LE(at + sizeof value, file.size());
  std::memcpy(file.data() + at, &value, sizeof value);
}
template <typename T> T Get(const std::vector<uint8_t>& file, size_t at) {
  T value{};
  std::memcpy(&value, file.data() + at, sizeof value);
  return value;
}

size_t FileHeader(const std::vector<uint8_t>& file) {
  return Get<uint32_t>(file, pe::kNewHeaderOffsetField) + pe::kSignatureSize;
}
size_t OptionalHeader(const std::vector<uint8_t>& file) {
  return FileHeader(file) + pe::kFileHeaderSize;
}
size_t RelocationDirectory(const std::vector<uint8_t>& file) {
  return OptionalHeader(file) + pe::kDirectoriesField +
         pe::kBaseRelocationDirectory * pe::kDirectoryEntrySize;
}

// Rewrites the type of the first DIR64 entry of the first relocation block.
void RetypeFirstRelocation(std::vector<uint8_t>& file, uint16_t type) {
  const image_bench::PeImage image = ParsePeImage(file);
  const auto block = image_test::FileOffset(image, image.relocation_rva);
  ASSERT_TRUE(block.has_value());
  const size_t entry = *block + pe::kRelocationBlockHeaderSize;
  const auto value = Get<uint16_t>(file, entry);
  Put<uint16_t>(file, entry,
                static_cast<uint16_t>(type << pe::kRelocationTypeShift |
                                      (value & pe::kRelocationOffsetMask)));
}

struct Rejection {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> spoil;
  const char* reason; // part of the one-line message
};

void PrintTo(const Rejection& c, std::ostream* os) {
  *os << c.name;
}

const Rejection kRejections[] = {
    {"empty file", [](auto& f) { f.clear(); }, "shorter than a DOS header"},
    {"cut inside the DOS header", [](auto& f) { f.resize(40); }, "shorter than a DOS header"},
    {"cut before the PE header", [](auto& f) { f.resize(pe::kDosHeaderSize); }, "truncated"},
    {"cut inside the optional header", [](auto& f) { f.resize(OptionalHeader(f) + 200); },
     "truncated"},
    {"cut inside the section table",
     [](auto& f) { f.resize(OptionalHeader(f) + Get<uint16_t>(f, FileHeader(f) + 16) + 20); },
     "truncated"},
    {"cut inside the code", [](auto& f) { f.resize(f.size() / 2); }, "truncated"},
    {"foreign file (ELF)",
     [](auto& f) {
       f = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0};
       f.resize(4096, 0);
     },
     "no MZ signature"},
    {"MZ without PE signature", [](auto& f) { Put<uint32_t>(f, FileHeader(f) - 4, 0x4C45); },
     "no PE signature"},
    {"PE header offset past the end",
     [](auto& f) { Put<uint32_t>(f, pe::kNewHeaderOffsetField, 0x7FFFFFF0); }, "truncated"},
    {"machine i386", [](auto& f) { Put<uint16_t>(f, FileHeader(f) + pe::kMachineField, 0x014C); },
     "machine 0x14C is not x86-64"},
    {"machine AArch64",
     [](auto& f) { Put<uint16_t>(f, FileHeader(f) + pe::kMachineField, 0xAA64); },
     "machine 0xAA64 is not x86-64"},
    {"PE32 optional header",
     [](auto& f) { Put<uint16_t>(f, OptionalHeader(f) + pe::kMagicField, pe::kMagicPe32); },
     "is PE32, not PE32+"},
    {"EFI application subsystem",
     [](auto& f) { Put<uint16_t>(f, OptionalHeader(f) + pe::kSubsystemField, 10); },
     "subsystem 10 is not an EFI boot-service driver"},
    {"EFI runtime driver subsystem",
     [](auto& f) { Put<uint16_t>(f, OptionalHeader(f) + pe::kSubsystemField, 12); },
     "subsystem 12"},
    {"relocations stripped flag",
     [](auto& f) {
       const size_t at = FileHeader(f) + pe::kCharacteristicsField;
       Put<uint16_t>(f, at, Get<uint16_t>(f, at) | pe::kRelocsStripped);
     },
     "relocations stripped"},
    {"relocation directory removed", [](auto& f) { Put<uint64_t>(f, RelocationDirectory(f), 0); },
     "no base relocations"},
    {"relocation directory past the image",
     [](auto& f) { Put<uint32_t>(f, RelocationDirectory(f), 0x7FFFFFF0); },
     "relocation directory lies outside"},
    {"no entry point",
     [](auto& f) { Put<uint32_t>(f, OptionalHeader(f) + pe::kEntryPointField, 0); },
     "no entry point"},
    {"entry point in the headers",
     [](auto& f) { Put<uint32_t>(f, OptionalHeader(f) + pe::kEntryPointField, 0x10); },
     "lies in no executable section"},
    {"absurd SizeOfImage",
     [](auto& f) { Put<uint32_t>(f, OptionalHeader(f) + pe::kSizeOfImageField, 0xFFFFF000); },
     "is not a driver's size"},
    {"HIGHLOW relocation", [](auto& f) { RetypeFirstRelocation(f, 3); },
     "unsupported base relocation type 3"},
};

class LoaderRejects : public testing::TestWithParam<Rejection> {};

TEST_P(LoaderRejects, WithAOneLineReason) {
  std::vector<uint8_t> file = image_test::DeliveredImage(sim::Driver::Updater);
  ASSERT_FALSE(file.empty());
  GetParam().spoil(file);
  try {
    const image_bench::PeImage image = ParsePeImage(file);
    LayOut(image, file, 0x10000000);
    FAIL() << "accepted: " << GetParam().name;
  } catch (const ImageError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(GetParam().reason), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(Spoiled, LoaderRejects, testing::ValuesIn(kRejections),
                         [](const testing::TestParamInfo<Rejection>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

// Every cut of a real image is refused or loaded, never a crash or an
// out-of-range read (run under the sanitizers by the hardening build).
TEST(Loader, SurvivesEveryPrefixOfARealImage) {
  const std::vector<uint8_t> file = image_test::DeliveredImage(sim::Driver::Guard);
  ASSERT_FALSE(file.empty());
  size_t refused = 0;
  for (size_t size = 0; size < file.size(); ++size) {
    const std::vector<uint8_t> cut(file.begin(), file.begin() + size);
    try {
      LayOut(ParsePeImage(cut), cut, 0x10000000);
    } catch (const ImageError&) {
      ++refused;
    }
  }
  // The last section's padding may go without harm; everything before the
  // end of the relocation data may not.
  const image_bench::PeImage image = ParsePeImage(file);
  EXPECT_GE(refused, *image_test::FileOffset(image, image.relocation_rva));
}

// The DIR64 slots named by the relocation blocks, walked here on their own.
std::vector<size_t> Dir64Slots(const std::vector<uint8_t>& memory,
                               const image_bench::PeImage& image) {
  std::vector<size_t> slots;
  for (size_t block = image.relocation_rva; block < image.relocation_rva + image.relocation_size;) {
    const auto page = Get<uint32_t>(memory, block);
    const auto size = Get<uint32_t>(memory, block + 4);
    for (size_t at = block + 8; at < block + size; at += 2) {
      const auto entry = Get<uint16_t>(memory, at);
      if (entry >> 12 == 10) {
        slots.push_back(page + (entry & 0xFFF));
      }
    }
    block += size;
  }
  return slots;
}

// Relocation moves exactly the DIR64 slots, by exactly the distance moved;
// every other byte lies where the file puts it.
TEST(Loader, RelocatesOnlyTheDir64SlotsByTheDistanceMoved) {
  constexpr uint64_t kElsewhere = 0x10000000;
  for (sim::Driver driver : {sim::Driver::Updater, sim::Driver::Guard}) {
    const std::vector<uint8_t> file = image_test::DeliveredImage(driver);
    ASSERT_FALSE(file.empty());
    const image_bench::PeImage image = ParsePeImage(file);
    const auto at_base = LayOut(image, file, image.image_base);
    const auto moved = LayOut(image, file, kElsewhere);
    const std::vector<size_t> slots = Dir64Slots(at_base.memory, image);
    ASSERT_FALSE(slots.empty());
    EXPECT_EQ(moved.relocations_applied, slots.size());
    std::vector<uint8_t> expected = at_base.memory;
    for (size_t slot : slots) {
      Put<uint64_t>(expected, slot,
                    Get<uint64_t>(at_base.memory, slot) + kElsewhere - image.image_base);
    }
    EXPECT_EQ(moved.memory, expected);
    // Laid out at its preferred base, the image is the file's bytes in place.
    for (const image_bench::Section& s : image.sections) {
      EXPECT_TRUE(std::equal(file.begin() + s.raw_offset,
                             file.begin() + s.raw_offset + std::min(s.raw_size, s.virtual_size),
                             at_base.memory.begin() + s.rva))
          << s.name;
    }
  }
}

// Pages take what their sections ask for, at every section alignment a
// toolchain produces: 4 KiB (ours), 0x40 (EDK II's GCC5 and CLANGDWARF, as
// built) and 0x20 (its CLANGPDB). A page shared by code and data must allow
// both, or the image faults at its first write or fetch.
TEST(Loader, GivesEachPageTheAccessOfItsSections) {
  constexpr uint32_t R = pe::kSectionRead;
  constexpr uint32_t W = pe::kSectionWrite;
  constexpr uint32_t X = pe::kSectionExecute;
  struct Layout {
    const char* name;
    uint32_t size_of_image;
    std::vector<image_bench::Section> sections; // rva, virtual size, access
    std::vector<uint32_t> pages;
  };
  const auto section = [](uint32_t rva, uint32_t size, uint32_t access) {
    image_bench::Section s;
    s.rva = rva;
    s.virtual_size = size;
    s.characteristics = access;
    return s;
  };
  const Layout layouts[] = {
      {"page aligned",
       0x4000,
       {section(0x1000, 0x1800, R | X), section(0x3000, 0x100, R | W)},
       {R, R | X, R | X, R | W}},
      {"0x40 aligned",
       0x1C80,
       {section(0x240, 0x1900, R | X), section(0x1B40, 0x100, R | W), section(0x1C40, 0x40, R)},
       {R | X, R | W | X}},
      {"0x20 aligned",
       0x2000,
       {section(0x220, 0x1600, R | X), section(0x1820, 0x80, R | W), section(0x18A0, 0x20, 0)},
       {R | X, R | W | X}},
      {"headers only past the sections", 0x3000, {section(0x1000, 0x20, R | X)}, {R, R | X, R}},
  };
  for (const Layout& layout : layouts) {
    image_bench::PeImage image;
    image.size_of_image = layout.size_of_image;
    image.sections = layout.sections;
    EXPECT_EQ(image_bench::PageAccess(image, 0x1000), layout.pages) << layout.name;
  }
}

} // namespace
