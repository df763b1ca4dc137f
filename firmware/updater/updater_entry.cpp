// SPDX-License-Identifier: BSD-2-Clause-Patent
// Driver entry and the trigger notification that runs the update flow once.
#include "common/setup_data.h"
#include "updater/updater.h"

namespace updater {

EFI_SYSTEM_TABLE* SystemTable;
EFI_BOOT_SERVICES* BootServices;
EFI_RUNTIME_SERVICES* RuntimeServices;

UINT8 ReadUpdateRequest(SetupCopy& Setup) {
  Setup.Size = sizeof(Setup.Data);
  const EFI_STATUS Status = RuntimeServices->GetVariable(
      SetupVariable.Name, SetupVariable.Guid, &Setup.Attributes, &Setup.Size, Setup.Data);
  if (EFI_ERROR(Status) || !SetupHasByte(Setup.Size, SETUP_EC_UPDATE_REQUEST)) {
    return 0;
  }
  return Setup.Data[SETUP_EC_UPDATE_REQUEST];
}

void EFIAPI OnUpdateTrigger(EFI_EVENT Event, VOID* /*Context*/) {
  // Only an exact 1 is a request: other values belong to no known setting.
  SetupCopy Setup;
  if (ReadUpdateRequest(Setup) == EC_UPDATE_REQUESTED) {
    if (UpdatePrompt() == PromptAnswer::Skip) {
      ShowMessage(ROW_SKIPPED, u"EC update skipped, system will continue boot!");
      FinishUpdate();
      BootServices->Stall(SKIP_PAUSE_US);
    } else if (!EFI_ERROR(UpdateRun())) {
      ShowMessage(ROW_OUTCOME, u"EC update successfully! System would restart!");
      FinishUpdate();
      RestartPlatform(RESTART_PAUSE_US);
    }
  }
  // Closing the event makes this the only run of the flow in this boot.
  BootServices->CloseEvent(Event);
}

} // namespace updater

extern "C" EFI_STATUS EFIAPI UpdaterEntry(EFI_HANDLE /*ImageHandle*/,
                                          EFI_SYSTEM_TABLE* SystemTable) {
  using namespace updater;
  if (updater::SystemTable == nullptr) {
    updater::SystemTable = SystemTable;
    BootServices = SystemTable->BootServices;
    RuntimeServices = SystemTable->RuntimeServices;
  }
  EFI_EVENT Event;
  if (!EFI_ERROR(BootServices->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, OnUpdateTrigger,
                                           nullptr, &Event))) {
    VOID* Registration;
    BootServices->RegisterProtocolNotify(&UpdateTriggerProtocolGuid, Event, &Registration);
  }
  return EFI_SUCCESS;
}
