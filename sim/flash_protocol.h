// SPDX-License-Identifier: BSD-2-Clause-Patent
// The serial NOR flash behind the EC's pass-through mode, as the host side
// knows it: opcodes, status bits, the identification the update is written
// for, and the flash's geometry. Part of the host's protocol home with
// sim/ec_protocol.h, which includes it; written from the protocol description
// and not shared with the drivers (see there why).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim {

inline constexpr uint8_t kFlashReadId = 0x9F;
inline constexpr uint8_t kFlashWriteEnable = 0x06;
inline constexpr uint8_t kFlashWriteDisable = 0x04;
inline constexpr uint8_t kFlashReadStatus = 0x05; // the status repeats while the read goes on
inline constexpr uint8_t kFlashErase1K = 0xD7;
inline constexpr uint8_t kFlashFastRead = 0x0B;    // address, one dummy byte, then data
inline constexpr uint8_t kFlashWordProgram = 0xAD; // two bytes a command, the address advancing

inline constexpr uint8_t kFlashStatusBusy = 0x01; // an erase or program in progress
inline constexpr uint8_t kFlashStatusWel = 0x02;  // the write-enable latch

inline constexpr size_t kFlashAddressBytes = 3; // most significant first
inline constexpr uint8_t kFlashFastReadDummy = 0x00;
inline constexpr uint8_t kFlashErased = 0xFF;

// The only identification, in the order read, for which the update starts.
inline constexpr std::array<uint8_t, 4> kFlashExpectedId = {0xFF, 0xFF, 0xFE, 0xFF};

inline constexpr uint32_t kFlashSize = 0x20000;
inline constexpr uint32_t kFlashSectorSize = 0x400; // what one erase clears

} // namespace sim
