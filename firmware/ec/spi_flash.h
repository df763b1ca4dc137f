// SPDX-License-Identifier: BSD-2-Clause-Patent
// The serial NOR flash behind the EC's pass-through mode: the opcodes, status
// bits and identification as that flash understands them.
#pragma once

#include "efi/efi_types.h"

inline constexpr UINT8 FLASH_READ_ID = 0x9F;
inline constexpr UINT8 FLASH_WRITE_ENABLE = 0x06;
inline constexpr UINT8 FLASH_WRITE_DISABLE = 0x04;
inline constexpr UINT8 FLASH_READ_STATUS = 0x05; // repeats the status while the read goes on
inline constexpr UINT8 FLASH_ERASE_1K = 0xD7;
inline constexpr UINT8 FLASH_FAST_READ = 0x0B;    // 3-byte address, one dummy byte, then data
inline constexpr UINT8 FLASH_WORD_PROGRAM = 0xAD; // auto-address-increment, two bytes a command

inline constexpr UINT8 FLASH_STATUS_BUSY = 0x01; // write or erase in progress
inline constexpr UINT8 FLASH_STATUS_WEL = 0x02;  // write-enable latch

inline constexpr UINT8 FLASH_FAST_READ_DUMMY = 0x00;
inline constexpr UINT8 FLASH_ERASED = 0xFF;

// The identification, in the order read, of the flash part this programming
// sequence (1 KiB erase, word program) was written for. The check is exact on
// purpose: any other answer, the same bytes in another order included, is a
// part the sequence could damage, so the update does not start.
inline constexpr UINT8 FLASH_ID_LENGTH = 4;
inline constexpr UINT8 FLASH_EXPECTED_ID[FLASH_ID_LENGTH] = {0xFF, 0xFF, 0xFE, 0xFF};
