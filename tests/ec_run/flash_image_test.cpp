// SPDX-License-Identifier: BSD-2-Clause-Patent
// A whole boot-flash image ends at 4 GiB, so the EC image at 0xFF660000 lies
// at a file offset that grows with the flash: worked out here by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <random>

#include "sim/ec_protocol.h"
#include "tools/ec_run/flash_image.h"
#include "tools/ec_run/run_command.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

TEST(FlashImage, MapsTheImageToEndAt4GiB) {
  const struct {
    uint64_t size;
    std::optional<uint64_t> base; // empty: refused
    uint64_t ec_offset;
    const char* reason;
  } cases[] = {
      {16 * kMiB, 0xFF000000, 0x660000, ""},
      {32 * kMiB, 0xFE000000, 0x1660000, ""},
      {64 * kMiB, 0xFC000000, 0x3660000, ""},
      {4 * kMiB, {}, 0, "starts at 0xFFC00000, above the EC image at 0xFF660000"},
      {8 * kMiB, {}, 0, "starts at 0xFF800000"},
      {12 * kMiB, {}, 0, "a power of two"},
      {16 * kMiB - 1, {}, 0, "a power of two"},
      {0, {}, 0, "a power of two"},
      {128 * kMiB, {}, 0, "64 MiB"},
  };
  for (const auto& c : cases) {
    try {
      const ec_run::FlashMapping m = ec_run::MapFlashImage(c.size, "bios.bin");
      ASSERT_TRUE(c.base) << c.size << " accepted";
      EXPECT_EQ(m.base, *c.base) << c.size;
      EXPECT_EQ(m.ec_offset, c.ec_offset) << c.size;
    } catch (const ec_run::InputError& e) {
      EXPECT_FALSE(c.base) << c.size << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("bios.bin: ", 0), 0u) << e.what();
    }
  }
}

TEST(FlashImage, TakesTheEcImageFromItsPlaceInTheFile) {
  std::vector<uint8_t> file(16 * kMiB);
  std::mt19937 random(13);
  for (uint8_t& byte : file) {
    byte = static_cast<uint8_t>(random());
  }
  const std::vector<uint8_t> ec(file.begin() + 0x660000,
                                file.begin() + 0x660000 + sim::kEcImageSize);
  const std::string path = testing::TempDir() + "flash_image_test.bin";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));

  const ec_run::FlashImage image = ec_run::LoadFlashImage(path);
  std::remove(path.c_str());
  EXPECT_EQ(image.bytes, file);
  EXPECT_EQ(image.mapping.ec_offset, 0x660000u);
  EXPECT_EQ(image.ec_image, ec);
  EXPECT_THROW(ec_run::LoadFlashImage(path), ec_run::InputError); // gone now
}

// An erased EC region is refused; one programmed byte in it is enough to
// pass, wherever it lies, and bytes outside the region do not count.
TEST(FlashImage, RefusesAnErasedEcRegion) {
  const struct {
    int64_t programmed_at; // file offset of the one byte that is not 0xFF; -1: none
    bool refused;
  } cases[] = {
      {-1, true}, {0x65FFFF, true}, {0x680000, true}, {0x660000, false}, {0x67FFFF, false}};
  const std::string path = testing::TempDir() + "flash_image_erased.bin";
  for (const auto& c : cases) {
    std::vector<char> file(16 * kMiB, '\xFF');
    if (c.programmed_at >= 0) {
      file[static_cast<size_t>(c.programmed_at)] = 0x5A;
    }
    std::ofstream(path, std::ios::binary)
        .write(file.data(), static_cast<std::streamsize>(file.size()));
    try {
      ec_run::LoadFlashImage(path);
      EXPECT_FALSE(c.refused) << c.programmed_at << " accepted";
    } catch (const ec_run::InputError& e) {
      EXPECT_TRUE(c.refused) << c.programmed_at << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find("at file offset 0x660000 (0xFF660000) is erased"),
                std::string::npos)
          << e.what();
    }
  }
  std::remove(path.c_str());
}

} // namespace
