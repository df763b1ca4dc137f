// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one place host tests set the globals the drivers borrow from the
// firmware's system table at entry, instead of writing them by hand.
#pragma once

#include "efi/efi_system_table.h"

namespace sim {

// Points both drivers' globals at the table and its services, as their
// entries do; nullptr empties them, as in a freshly loaded image.
void BindDriverGlobals(EFI_SYSTEM_TABLE* table);

} // namespace sim
