// Serial NOR flash opcodes and status bits as the EC's flash understands them,
// and where the EC image lies.
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
inline constexpr UINT8 FLASH_ID_LENGTH = 4;
inline constexpr UINT8 FLASH_EXPECTED_ID[FLASH_ID_LENGTH] = {0xFF, 0xFF, 0xFE, 0xFF};
inline constexpr UINT8 FLASH_ERASED = 0xFF;

inline constexpr UINTN EcImageBase = 0xFF660000; // boot-flash window, identity-mapped
inline constexpr UINT32 EC_IMAGE_SIZE = 0x20000;
inline constexpr UINT32 EC_BLOCK_SIZE = 0x400;
inline constexpr UINT32 EC_BLOCK_COUNT = EC_IMAGE_SIZE / EC_BLOCK_SIZE;

inline constexpr int EC_HANDSHAKE_REPLIES = 10;
