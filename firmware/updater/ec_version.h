// SPDX-License-Identifier: BSD-2-Clause-Patent
// Version bytes shown in the update banner, fixed when the image is built:
// the platform sets EC_VERSION_FIELD1 and EC_VERSION_FIELD3 (CMake cache
// variables in our build, defines in an EDK II platform's DSC).
#pragma once

#include "efi/efi_types.h"

#ifndef EC_VERSION_FIELD1
#define EC_VERSION_FIELD1 0x00
#endif
#ifndef EC_VERSION_FIELD3
#define EC_VERSION_FIELD3 0x00
#endif

// A value is a byte when it survives the trip through UINT8 unchanged.
static_assert(static_cast<UINT8>(EC_VERSION_FIELD1) == (EC_VERSION_FIELD1),
              "EC_VERSION_FIELD1 must be a byte, 0 to 0xFF");
static_assert(static_cast<UINT8>(EC_VERSION_FIELD3) == (EC_VERSION_FIELD3),
              "EC_VERSION_FIELD3 must be a byte, 0 to 0xFF");

namespace updater {
inline constexpr UINT8 EcVersionField1 = EC_VERSION_FIELD1;
inline constexpr UINT8 EcVersionField2 = 10; // the middle field is fixed
inline constexpr UINT8 EcVersionField3 = EC_VERSION_FIELD3;
} // namespace updater
