// SPDX-License-Identifier: BSD-2-Clause-Patent
// Where the EC image lies in the platform's boot flash and how the update
// cuts it into the EC flash's erase blocks. Boards place the EC region
// differently: the platform sets EC_IMAGE_BASE (a CMake cache variable in our
// build, a define in an EDK II platform's DSC). The size is the EC's own
// flash and does not change.
#pragma once

#include "efi/efi_types.h"

#ifndef EC_IMAGE_BASE
#define EC_IMAGE_BASE 0xFF660000
#endif

inline constexpr UINTN EcImageBase = EC_IMAGE_BASE; // boot-flash window, identity-mapped
inline constexpr UINT32 EC_IMAGE_SIZE = 0x20000;
inline constexpr UINT32 EC_BLOCK_SIZE = 0x400; // one erase sector of the EC's flash
inline constexpr UINT32 EC_BLOCK_COUNT = EC_IMAGE_SIZE / EC_BLOCK_SIZE;

// The boot flash is mapped below 4 GiB, and each block is copied from one
// 1 KiB-aligned stretch of it.
static_assert(EcImageBase % EC_BLOCK_SIZE == 0, "EC_IMAGE_BASE must be 1 KiB aligned");
static_assert((EC_IMAGE_BASE) >= 0 && (EC_IMAGE_BASE) <= 0x100000000 - EC_IMAGE_SIZE,
              "EC_IMAGE_BASE + 128 KiB must not cross 4 GiB");
