// SPDX-License-Identifier: BSD-2-Clause-Patent
// Streams the EC image from the boot flash into the EC's flash: for each 1 KiB
// block erase, prove blank, program two bytes a command, and read back.
#include "ec/flash_status.h"
#include "ec/pass_through.h"
#include "ec/spi_flash.h"
#include "platform/platform_io.h"
#include "updater/ec_image.h"
#include "updater/updater.h"

namespace updater {

namespace {

// Flash addresses go out as three bytes, most significant first.
void SendAddress(UINT32 Address) {
  PtSendData(static_cast<UINT8>(Address >> 16));
  PtSendData(static_cast<UINT8>(Address >> 8));
  PtSendData(static_cast<UINT8>(Address));
}

// Opens a fast read at Address. The caller reads the data and leaves the
// transaction open; the next sequence's select ends it.
void StartFastRead(UINT32 Address) {
  PtSelect();
  PtSendCommand(FLASH_FAST_READ);
  SendAddress(Address);
  PtSendData(FLASH_FAST_READ_DUMMY);
}

[[nodiscard]] bool BlockIsBlank(UINT32 Address) {
  StartFastRead(Address);
  for (UINT32 i = 0; i < EC_BLOCK_SIZE; ++i) {
    if (PtReadByte() != FLASH_ERASED) {
      return false;
    }
  }
  return true;
}

[[nodiscard]] bool BlockMatches(UINT32 Address, const UINT8* Block) {
  StartFastRead(Address);
  for (UINT32 i = 0; i < EC_BLOCK_SIZE; ++i) {
    if (PtReadByte() != Block[i]) {
      return false;
    }
  }
  return true;
}

void EraseBlock(UINT32 Address) {
  PtSelect();
  PtSendCommand(FLASH_ERASE_1K);
  SendAddress(Address);
  PtDeselect();
}

// The first word-program command carries the address; each further one only
// its two bytes. After the last pair one more command opens with no data,
// and the next select ends it.
void ProgramBlock(UINT32 Address, const UINT8* Block) {
  PtSelect();
  PtSendCommand(FLASH_WORD_PROGRAM);
  SendAddress(Address);
  for (UINT32 i = 0; i < EC_BLOCK_SIZE; i += 2) {
    PtSendData(Block[i]);
    PtSendData(Block[i + 1]);
    FlashWaitIdle();
    PtSelect();
    PtSendCommand(FLASH_WORD_PROGRAM);
  }
}

[[nodiscard]] bool WriteBlock(UINT32 Address, const UINT8* Block) {
  FlashWriteEnable();
  EraseBlock(Address);
  FlashWaitIdle();
  FlashWriteDisable();
  FlashWaitIdle();
  if (!BlockIsBlank(Address)) {
    return false;
  }
  FlashWaitIdle();
  FlashWriteEnable();
  ProgramBlock(Address, Block);
  // Write disable twice, each followed by an idle wait, as the flash's
  // programming procedure prescribes: the first ends the auto-address-increment
  // mode, which the flash leaves only on that command; the second, on a flash
  // back in its normal mode, proves the latch clear before the read-back.
  FlashWriteDisable();
  FlashWaitIdle();
  FlashWriteDisable();
  FlashWaitIdle();
  return BlockMatches(Address, Block);
}

[[nodiscard]] bool EnterPassThrough() {
  PtEnter();
  for (int Reply = 0; Reply < EC_HANDSHAKE_REPLIES; ++Reply) {
    if (EcReadData() == EC_PT_READY) {
      return true;
    }
  }
  return false;
}

[[nodiscard]] bool FlashIdentified() {
  UINT8 Id[FLASH_ID_LENGTH];
  PtSelect();
  PtSendCommand(FLASH_READ_ID);
  for (UINT8& Byte : Id) {
    Byte = PtReadByte();
  }
  PtDeselect();
  for (UINT8 i = 0; i < FLASH_ID_LENGTH; ++i) {
    if (Id[i] != FLASH_EXPECTED_ID[i]) {
      return false;
    }
  }
  return true;
}

} // namespace

EFI_STATUS ProgramImage() {
  UINT8 Block[EC_BLOCK_SIZE];
  for (UINT32 Offset = 0; Offset < EC_IMAGE_SIZE; Offset += EC_BLOCK_SIZE) {
    for (UINT32 i = 0; i < EC_BLOCK_SIZE; ++i) {
      Block[i] = platform::BootFlashRead8(EcImageBase + Offset + i);
    }
    const bool Written = WriteBlock(Offset, Block);
    FlashWaitIdle();
    if (!Written) {
      EndWithUpdateFailure();
      return EFI_DEVICE_ERROR;
    }
  }
  return EFI_SUCCESS;
}

EFI_STATUS UpdateRun() {
  ShowMessage(ROW_START,
              u"Starting update EC, please keep power and don't do anything during update!");
  if (!EnterPassThrough()) {
    EndWithInitFailure();
    return EFI_DEVICE_ERROR;
  }
  FlashWaitIdle();
  if (!FlashIdentified()) {
    EndWithInitFailure();
    return EFI_DEVICE_ERROR;
  }
  return ProgramImage();
}

} // namespace updater
