// SPDX-License-Identifier: BSD-2-Clause-Patent
// Hands the Setup threshold to the EC, reads the guarded register and powers
// the machine off when the reading is below the threshold.
#include "common/setup_data.h"
#include "ec/ec_host.h"
#include "ec/guard_commands.h"
#include "guard/guard.h"

namespace guard {

EFI_SYSTEM_TABLE* SystemTable;
EFI_BOOT_SERVICES* BootServices;
EFI_RUNTIME_SERVICES* RuntimeServices;

} // namespace guard

extern "C" EFI_STATUS EFIAPI GuardEntry(EFI_HANDLE /*ImageHandle*/, EFI_SYSTEM_TABLE* SystemTable) {
  using namespace guard;
  guard::SystemTable = SystemTable;
  BootServices = SystemTable->BootServices;
  RuntimeServices = SystemTable->RuntimeServices;

  UINT8 Setup[SETUP_DATA_SIZE];
  UINTN Size = sizeof(Setup);
  const EFI_STATUS Status =
      RuntimeServices->GetVariable(SetupVariable.Name, SetupVariable.Guid, nullptr, &Size, Setup);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  if (!SetupHasByte(Size, SETUP_EC_GUARD_THRESHOLD) || Setup[SETUP_EC_GUARD_ENABLE] == 0) {
    return Status;
  }

  const UINT8 Threshold = Setup[SETUP_EC_GUARD_THRESHOLD];
  // Waits for IBF like every command: a command written while the EC still
  // holds an earlier byte can be lost, and the threshold then read as one.
  EcWriteCommand(EC_CMD_GUARD_THRESHOLD);
  EcWriteData(Threshold);
  if (EcReadRegister(EcGuardRegister) < Threshold) {
    RuntimeServices->ResetSystem(EfiResetShutdown, EFI_SUCCESS, 0, nullptr);
  }
  return Status;
}
