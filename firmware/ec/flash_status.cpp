// SPDX-License-Identifier: BSD-2-Clause-Patent
// Status sequences on the EC's flash. The write-enable and write-disable
// commands are each closed by the select that opens the status read: the
// flash acts on them when their transaction ends, and the status read that
// follows then proves the latch changed.
#include "ec/flash_status.h"

#include "ec/pass_through.h"
#include "ec/spi_flash.h"

namespace {

// Reads the status register of an already selected flash until the bits in
// Mask equal Want, then ends the transaction. Inlined so that each poll loop
// tests its bits as constants: these loops run once per status byte read.
[[gnu::always_inline]] inline void FlashPollStatus(UINT8 Mask, UINT8 Want) {
  PtSendCommand(FLASH_READ_STATUS);
  while ((PtReadByte() & Mask) != Want) {
  }
  PtDeselect();
}

} // namespace

void FlashWaitIdle() {
  PtSelect();
  FlashPollStatus(FLASH_STATUS_BUSY, 0);
}

void FlashWriteEnable() {
  FlashWaitIdle();
  PtSelect();
  PtSendCommand(FLASH_WRITE_ENABLE);
  PtSelect();
  // A latch that reads set while the flash is still busy is not yet usable.
  FlashPollStatus(FLASH_STATUS_WEL | FLASH_STATUS_BUSY, FLASH_STATUS_WEL);
}

void FlashWriteDisable() {
  FlashWaitIdle();
  PtSelect();
  PtSendCommand(FLASH_WRITE_DISABLE);
  PtSelect();
  FlashPollStatus(FLASH_STATUS_WEL, 0);
}
