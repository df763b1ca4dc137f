// SPDX-License-Identifier: BSD-2-Clause-Patent
// Variable argument lists in the Microsoft x64 convention: every argument
// occupies one 64-bit slot, as UEFI's calling convention passes them. A
// compiler targeting Windows (our own image build, EDK II's CLANGPDB) uses
// that convention natively; one targeting ELF (the host build, EDK II's GCC5
// and CLANGDWARF) has the System V list as its default and must name the
// Microsoft one for EFIAPI functions.
#pragma once

#if defined(_WIN64)
using EFI_VA_LIST = __builtin_va_list;
#define EFI_VA_START(Marker, Last) __builtin_va_start(Marker, Last)
#define EFI_VA_END(Marker) __builtin_va_end(Marker)
#else
using EFI_VA_LIST = __builtin_ms_va_list;
#define EFI_VA_START(Marker, Last) __builtin_ms_va_start(Marker, Last)
#define EFI_VA_END(Marker) __builtin_ms_va_end(Marker)
#endif
#define EFI_VA_ARG(Marker, Type) __builtin_va_arg(Marker, Type)
