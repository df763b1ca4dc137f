// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/driver_globals.h"

#include "guard/guard.h"
#include "updater/updater.h"

namespace sim {

void BindDriverGlobals(EFI_SYSTEM_TABLE* table) {
  EFI_BOOT_SERVICES* const boot = table != nullptr ? table->BootServices : nullptr;
  EFI_RUNTIME_SERVICES* const runtime = table != nullptr ? table->RuntimeServices : nullptr;
  updater::SystemTable = table;
  updater::BootServices = boot;
  updater::RuntimeServices = runtime;
  guard::SystemTable = table;
  guard::BootServices = boot;
  guard::RuntimeServices = runtime;
}

} // namespace sim
