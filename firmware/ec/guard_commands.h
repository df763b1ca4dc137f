// SPDX-License-Identifier: BSD-2-Clause-Patent
// The EC firmware's threshold-guard commands: the host hands over a threshold
// and reads back the register the EC keeps the guarded value in.
#pragma once

#include "efi/efi_types.h"

inline constexpr UINT8 EC_CMD_GUARD_THRESHOLD = 0xAA; // then the threshold as a data byte
inline constexpr UINT8 EcGuardRegister = 0x93;
