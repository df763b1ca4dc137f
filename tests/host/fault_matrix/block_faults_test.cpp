// SPDX-License-Identifier: BSD-2-Clause-Patent
// Erase and program faults in the EC flash: a byte that does not erase, or
// programs wrong, at the first, a middle and the last byte of the first, a
// middle and the last block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "tests/host/fault_matrix/fault_matrix.h"

namespace fault_matrix {
namespace {

using fault_matrix::PrintTo; // found by gtest through the parameter types

struct BlockFault {
  std::string name;
  bool blank_check; // else verify
  uint32_t block;
  uint32_t byte;
};

class BlockFaults : public testing::TestWithParam<BlockFault> {};

TEST_P(BlockFaults, FailTheBlockAndTouchNothingAfterIt) {
  const BlockFault& f = GetParam();
  const uint32_t address = f.block * kBlock + f.byte;
  const size_t variant = f.block + f.byte;
  sim::Scenario s = Update(f.name);
  uint8_t wrong_byte = 0;
  if (f.blank_check) {
    constexpr uint8_t kStuck[] = {0x00, 0xFE, 0x7F, 0xEF, 0x80, 0xF7};
    s.platform.flash.stuck_erase_address = address;
    s.platform.flash.stuck_value = kStuck[variant % std::size(kStuck)];
    wrong_byte = s.platform.flash.stuck_value;
  } else {
    constexpr uint8_t kFlip[] = {0x01, 0x80, 0xFF, 0x10, 0x08, 0x40};
    s.platform.flash.bad_program_address = address;
    s.platform.flash.bad_program_flip = kFlip[variant % std::size(kFlip)];
    wrong_byte = s.platform.ec_image[address] ^ s.platform.flash.bad_program_flip;
  }
  const Case c = RunCase(s);
  EXPECT_EQ(c.expected.ending, sim::Ending::UpdateFailed);

  // Read off the command stream: erases, programs and reads per block.
  const std::vector<FlashTransaction> all = FlashTransactions(c.run.log);
  std::vector<uint32_t> erased;
  std::vector<uint32_t> programmed;
  size_t failing_read = all.size();
  for (size_t i = 0; i < all.size(); ++i) {
    const FlashTransaction& t = all[i];
    if (!t.opcode || !t.HasAddress()) {
      continue;
    }
    EXPECT_LE(t.Address(), f.block * kBlock) << f.name << ": a later block was touched";
    if (*t.opcode == sim::kFlashErase1K) {
      erased.push_back(t.Address());
    } else if (*t.opcode == sim::kFlashWordProgram) {
      programmed.push_back(t.Address());
    } else if (*t.opcode == sim::kFlashFastRead) {
      failing_read = i;
    }
  }
  const uint32_t blocks_programmed = f.blank_check ? f.block : f.block + 1;
  ASSERT_EQ(erased.size(), f.block + 1) << f.name;
  ASSERT_EQ(programmed.size(), blocks_programmed) << f.name;
  for (uint32_t b = 0; b <= f.block; ++b) {
    EXPECT_EQ(erased[b], b * kBlock) << f.name;
    if (b < blocks_programmed) {
      EXPECT_EQ(programmed[b], b * kBlock) << f.name;
    }
  }
  // The failing read stops at the wrong byte; only a status poll follows it.
  ASSERT_LT(failing_read, all.size()) << f.name;
  const FlashTransaction& read = all[failing_read];
  EXPECT_EQ(read.Address(), f.block * kBlock) << f.name;
  ASSERT_EQ(read.read.size(), f.byte + 1) << f.name;
  EXPECT_EQ(read.read.back(), wrong_byte) << f.name;
  ASSERT_EQ(all.size(), failing_read + 2) << f.name;
  EXPECT_EQ(all.back().opcode, sim::kFlashReadStatus) << f.name;

  // The flash itself: earlier blocks hold the image, later ones the old
  // firmware; the failing block what the fault left.
  const std::vector<uint8_t>& flash = c.run.flash_after;
  const std::vector<uint8_t>& image = s.platform.ec_image;
  const std::vector<uint8_t>& old = s.platform.flash_before;
  const auto block_begin = [](uint32_t b) { return static_cast<ptrdiff_t>(b * kBlock); };
  EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + block_begin(f.block), image.begin()));
  EXPECT_TRUE(std::equal(flash.begin() + block_begin(f.block + 1), flash.end(),
                         old.begin() + block_begin(f.block + 1)))
      << f.name << ": a later block changed";
  for (uint32_t i = f.block * kBlock; i < (f.block + 1) * kBlock; ++i) {
    const uint8_t want = i == address ? wrong_byte : f.blank_check ? sim::kFlashErased : image[i];
    ASSERT_EQ(flash[i], want) << f.name << " at " << i;
  }
}

std::vector<BlockFault> BlockFaultCases() {
  std::vector<BlockFault> cases;
  for (bool blank : {true, false}) {
    for (uint32_t block : {0u, 64u, 127u}) {
      for (uint32_t byte : {0u, 0x200u, 0x3FFu}) {
        cases.push_back({std::string(blank ? "blank check" : "verify") + " block " +
                             std::to_string(block) + " byte " + HexDigits(byte >> 8) +
                             HexDigits(byte & 0xFF),
                         blank, block, byte});
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Matrix, BlockFaults, testing::ValuesIn(BlockFaultCases()),
                         ParamName<BlockFault>);

} // namespace
} // namespace fault_matrix
