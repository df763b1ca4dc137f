// SPDX-License-Identifier: BSD-2-Clause-Patent
// Test-only DXE driver (never shipped): stands in for the platform component
// that installs the update trigger. Dispatched from the firmware volume, it
// waits for the boot manager's ready-to-boot signal, when the consoles are
// connected and the updater's prompt can be seen and answered, then installs
// the trigger protocol once on a handle of its own.
#include "tests/qemu/efi_app.h"

namespace {

EFI_SYSTEM_TABLE* ST;

void EFIAPI OnReadyToBoot(EFI_EVENT Event, VOID* /*Context*/) {
  // The boot manager signals the group before every boot option it tries:
  // only the first signal stands for "consoles up".
  ST->BootServices->CloseEvent(Event);
  EFI_HANDLE Handle = nullptr;
  const EFI_STATUS Status = ST->BootServices->InstallProtocolInterface(
      &Handle, &TestTriggerGuid, EFI_NATIVE_INTERFACE, nullptr);
  // The updater's notification runs once this one returns, so this line
  // marks on the console the moment the trigger appeared.
  ST->ConOut->OutputString(ST->ConOut, EFI_ERROR(Status) ? u"\r\ntest trigger: install failed\r\n"
                                                         : u"\r\ntest trigger: installed\r\n");
}

} // namespace

extern "C" EFI_STATUS EFIAPI TriggerDriverEntry(EFI_HANDLE /*ImageHandle*/,
                                                EFI_SYSTEM_TABLE* SystemTable) {
  ST = SystemTable;
  EFI_EVENT Event;
  return SystemTable->BootServices->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, OnReadyToBoot,
                                                  nullptr, &ReadyToBootGroupGuid, &Event);
}
