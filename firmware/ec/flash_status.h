// SPDX-License-Identifier: BSD-2-Clause-Patent
// Status sequences on the EC's flash, spoken through the pass-through mode.
// Each spins on the flash's status register without a time-out, like every
// wait built on the EC handshake.
#pragma once

void FlashWaitIdle();
void FlashWriteEnable();
void FlashWriteDisable();
