// SPDX-License-Identifier: BSD-2-Clause-Patent
// Version bytes shown in the update banner, fixed when the image is built.
#pragma once

#include "efi/efi_types.h"

#ifndef EC_VERSION_FIELD1
#define EC_VERSION_FIELD1 0x00
#endif
#ifndef EC_VERSION_FIELD3
#define EC_VERSION_FIELD3 0x00
#endif

namespace updater {
inline constexpr UINT8 EcVersionField1 = EC_VERSION_FIELD1;
inline constexpr UINT8 EcVersionField2 = 10; // the middle field is fixed
inline constexpr UINT8 EcVersionField3 = EC_VERSION_FIELD3;
} // namespace updater
