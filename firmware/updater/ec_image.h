// SPDX-License-Identifier: BSD-2-Clause-Patent
// Where the EC image lies in the platform's boot flash and how the update
// cuts it into the EC flash's erase blocks.
#pragma once

#include "efi/efi_types.h"

inline constexpr UINTN EcImageBase = 0xFF660000; // boot-flash window, identity-mapped
inline constexpr UINT32 EC_IMAGE_SIZE = 0x20000;
inline constexpr UINT32 EC_BLOCK_SIZE = 0x400; // one erase sector of the EC's flash
inline constexpr UINT32 EC_BLOCK_COUNT = EC_IMAGE_SIZE / EC_BLOCK_SIZE;
