// SPDX-License-Identifier: BSD-2-Clause-Patent
// Variable argument lists in the Microsoft x64 convention: every argument
// occupies one 64-bit slot. The driver image's target uses that convention
// natively; the host build must name it for EFIAPI functions.
#pragma once

#if defined(EC_DRIVER_IMAGE)
using EFI_VA_LIST = __builtin_va_list;
#define EFI_VA_START(Marker, Last) __builtin_va_start(Marker, Last)
#define EFI_VA_END(Marker) __builtin_va_end(Marker)
#else
using EFI_VA_LIST = __builtin_ms_va_list;
#define EFI_VA_START(Marker, Last) __builtin_ms_va_start(Marker, Last)
#define EFI_VA_END(Marker) __builtin_ms_va_end(Marker)
#endif
#define EFI_VA_ARG(Marker, Type) __builtin_va_arg(Marker, Type)
