// Flash status sequences. Each spins on the flash's status register without a
// time-out, like every wait built on the EC handshake.
#include "updater/flash_commands.h"
#include "updater/pass_through.h"
#include "updater/updater.h"

namespace updater {

void FlashWaitIdle() {
  PtSelect();
  PtSendCommand(FLASH_READ_STATUS);
  while ((PtReadByte() & FLASH_STATUS_BUSY) != 0) {
  }
  PtDeselect();
}

void FlashWriteEnable() {
  FlashWaitIdle();
  PtSelect();
  PtSendCommand(FLASH_WRITE_ENABLE);
  PtSelect(); // ends the write-enable transaction, which sets the latch
  PtSendCommand(FLASH_READ_STATUS);
  while ((PtReadByte() & (FLASH_STATUS_WEL | FLASH_STATUS_BUSY)) != FLASH_STATUS_WEL) {
  }
  PtDeselect();
}

void FlashWriteDisable() {
  FlashWaitIdle();
  PtSelect();
  PtSendCommand(FLASH_WRITE_DISABLE);
  PtSelect();
  PtSendCommand(FLASH_READ_STATUS);
  while ((PtReadByte() & FLASH_STATUS_WEL) != 0) {
  }
  PtDeselect();
}

} // namespace updater
