// SPDX-License-Identifier: BSD-2-Clause-Patent
// Console messages and the ways an update flow ends: the request cleared, the
// EC told to leave pass-through mode, and for success or failure a restart.
#include "common/setup_data.h"
#include "ec/pass_through.h"
#include "platform/platform_io.h"
#include "updater/updater.h"

namespace updater {

void ShowMessage(UINTN Row, const CHAR16* Text) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* ConOut = SystemTable->ConOut;
  ConOut->SetCursorPosition(ConOut, 0, Row);
  ConOut->SetAttribute(ConOut, MESSAGE_ATTRIBUTE);
  ConOut->OutputString(ConOut, Text);
}

void FinishUpdate() {
  // Any non-zero request is cleared so that no later boot repeats the flow.
  SetupCopy Setup;
  if (ReadUpdateRequest(Setup) != 0) {
    Setup.Data[SETUP_EC_UPDATE_REQUEST] = 0;
    RuntimeServices->SetVariable(SetupVariable.Name, SetupVariable.Guid, Setup.Attributes,
                                 Setup.Size, Setup.Data);
  }
  // Sent on every path, also when pass-through mode was never entered.
  PtLeave();
}

void RestartPlatform(UINTN Microseconds) {
  BootServices->Stall(Microseconds);
  platform::PortWrite8(RESET_CONTROL_PORT, RESET_CONTROL_FULL_RESET);
}

void EndWithInitFailure() {
  ShowMessage(ROW_OUTCOME, u"EC init failed, skip EC update! System would restart!");
  FinishUpdate();
  RestartPlatform(RESTART_PAUSE_US);
}

void EndWithUpdateFailure() {
  ShowMessage(ROW_OUTCOME, u"EC update failed! System would restart!");
  FinishUpdate();
  RestartPlatform(RESTART_PAUSE_US);
}

} // namespace updater
