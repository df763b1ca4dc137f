// SPDX-License-Identifier: BSD-2-Clause-Patent
// Platform-side sample: the component that hands the boot over to the EC
// updater. Copy it into the platform, or put its one InstallProtocolInterface
// call where the platform's boot manager has connected the consoles.
//
// When: the updater's prompt must be seen and answered, so the trigger waits
// for the consoles, which the boot manager connects after the end of DXE.
// The ready-to-boot signal comes after both, just before the first boot
// option starts. A "Setup" lock that takes effect at the end of DXE is
// therefore already in force: the updater cannot clear its request, and the
// update runs again at every boot (see docs/integration.md).
//
// TPL: the updater's flow runs at TPL_CALLBACK. Installed from this
// TPL_CALLBACK notification, the trigger's notification is queued behind it
// and the flow runs as soon as OnReadyToBoot returns, before the boot manager
// goes on. Installed at TPL_APPLICATION (from the platform's boot-manager
// hook), it runs inside the install call. Either way a success or a failure
// restarts the platform and never comes back.
#include "common/setup_data.h"
#include "efi/efi_system_table.h"

namespace {

// Signalled by the boot manager once the consoles are connected, before each
// boot option it starts.
constexpr EFI_GUID ReadyToBootGroupGuid = {
    0x7CE88FB3, 0x4BD7, 0x4679, {0x87, 0xA8, 0xA8, 0xD8, 0xDE, 0xE5, 0x0D, 0x2B}};

EFI_SYSTEM_TABLE* ST;

void EFIAPI OnReadyToBoot(EFI_EVENT Event, VOID* /*Context*/) {
  // Only the first signal: the updater's flow runs at most once per boot,
  // and a boot option that fails brings the signal again.
  ST->BootServices->CloseEvent(Event);
  EFI_HANDLE Handle = nullptr;
  const EFI_STATUS Status = ST->BootServices->InstallProtocolInterface(
      &Handle, &UpdateTriggerProtocolGuid, EFI_NATIVE_INTERFACE, nullptr);
  // A line on the console (and the serial log) that says when the platform
  // handed over; the updater's prompt, if "Setup" asks for an update, follows.
  ST->ConOut->OutputString(ST->ConOut, EFI_ERROR(Status)
                                           ? u"\r\nEC update trigger: install failed\r\n"
                                           : u"\r\nEC update trigger: installed\r\n");
}

} // namespace

extern "C" EFI_STATUS EFIAPI TriggerSampleEntry(EFI_HANDLE /*ImageHandle*/,
                                                EFI_SYSTEM_TABLE* SystemTable) {
  ST = SystemTable;
  EFI_EVENT Event;
  return SystemTable->BootServices->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, OnReadyToBoot,
                                                  nullptr, &ReadyToBootGroupGuid, &Event);
}
