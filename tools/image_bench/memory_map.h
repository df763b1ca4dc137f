// SPDX-License-Identifier: BSD-2-Clause-Patent
// Where the emulated machine keeps things. The image loads away from its
// preferred base (0x140000000) so that a missing relocation shows; page 0 is
// left unmapped so a null pointer faults.
#pragma once

#include <cstdint>

#include "sim/platform.h"

namespace image_bench {

inline constexpr uint64_t kPageSize = 0x1000;

inline constexpr uint64_t kFirmwareDataBase = 0x00100000; // system table, services, console
inline constexpr uint64_t kFirmwareDataSize = 0x1000;
inline constexpr uint64_t kTrapBase = 0x00200000; // one RET per service slot
inline constexpr uint64_t kTrapSize = 0x1000;
inline constexpr uint64_t kStackBase = 0x00300000;
inline constexpr uint64_t kStackSize = 0x10000;
inline constexpr uint64_t kImageLoadAddress = 0x10000000;
inline constexpr uint64_t kBootFlashBase = sim::kBootFlashBase;
inline constexpr uint64_t kBootFlashSize = sim::kEcImageSize;
inline constexpr uint64_t kBootFlashEnd = uint64_t{1} << 32; // the reset vector's 4 GiB

// Where called functions return to: the run ends when the CPU gets there.
// It lies in the trap page, past every trap, and is never executed.
inline constexpr uint64_t kReturnSentinel = kTrapBase + kTrapSize - 0x10;

inline constexpr uint64_t PageAlignUp(uint64_t value) {
  return (value + kPageSize - 1) & ~(kPageSize - 1);
}

} // namespace image_bench
