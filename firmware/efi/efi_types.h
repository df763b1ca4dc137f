// SPDX-License-Identifier: BSD-2-Clause-Patent
// Base UEFI types, written from the UEFI specification's data-type table.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Every firmware service and both entry points use the Microsoft x64 calling
// convention. The driver image targets it natively; the host build names it so
// the same sources can be called through the simulated firmware's tables.
#define EFIAPI __attribute__((ms_abi))

using UINT8 = uint8_t;
using UINT16 = uint16_t;
using UINT32 = uint32_t;
using UINT64 = uint64_t;
using INT32 = int32_t;
using INT64 = int64_t;
using UINTN = uint64_t;
using BOOLEAN = uint8_t;
using CHAR8 = char;
using CHAR16 = char16_t; // UCS-2 code unit; char16_t lets sources write u"..." literals
using VOID = void;

using EFI_STATUS = UINTN;
using EFI_HANDLE = VOID*;
using EFI_EVENT = VOID*;
using EFI_TPL = UINTN;

struct EFI_GUID {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
};
static_assert(sizeof(EFI_GUID) == 16);

[[nodiscard]] constexpr bool GuidEquals(const EFI_GUID& a, const EFI_GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
    return false;
  }
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) {
      return false;
    }
  }
  return true;
}

// Status codes: bit 63 marks an error.
inline constexpr EFI_STATUS EFI_ERROR_BIT = 0x8000000000000000ULL;
[[nodiscard]] constexpr bool EFI_ERROR(EFI_STATUS s) {
  return (s & EFI_ERROR_BIT) != 0;
}
inline constexpr EFI_STATUS EFI_SUCCESS = 0;
inline constexpr EFI_STATUS EFI_INVALID_PARAMETER = EFI_ERROR_BIT | 2;
inline constexpr EFI_STATUS EFI_UNSUPPORTED = EFI_ERROR_BIT | 3;
inline constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL = EFI_ERROR_BIT | 5;
inline constexpr EFI_STATUS EFI_NOT_READY = EFI_ERROR_BIT | 6;
inline constexpr EFI_STATUS EFI_DEVICE_ERROR = EFI_ERROR_BIT | 7;
inline constexpr EFI_STATUS EFI_WRITE_PROTECTED = EFI_ERROR_BIT | 8;
inline constexpr EFI_STATUS EFI_OUT_OF_RESOURCES = EFI_ERROR_BIT | 9;
inline constexpr EFI_STATUS EFI_NOT_FOUND = EFI_ERROR_BIT | 14;
inline constexpr EFI_STATUS EFI_ACCESS_DENIED = EFI_ERROR_BIT | 15;
inline constexpr EFI_STATUS EFI_SECURITY_VIOLATION = EFI_ERROR_BIT | 26;

// Task priority levels and event types used here.
inline constexpr EFI_TPL TPL_APPLICATION = 4;
inline constexpr EFI_TPL TPL_CALLBACK = 8;
inline constexpr EFI_TPL TPL_NOTIFY = 16;
inline constexpr UINT32 EVT_NOTIFY_SIGNAL = 0x00000200;

// Variable attributes.
inline constexpr UINT32 EFI_VARIABLE_NON_VOLATILE = 0x00000001;
inline constexpr UINT32 EFI_VARIABLE_BOOTSERVICE_ACCESS = 0x00000002;
inline constexpr UINT32 EFI_VARIABLE_RUNTIME_ACCESS = 0x00000004;
inline constexpr UINT32 EFI_VARIABLE_HARDWARE_ERROR_RECORD = 0x00000008;
inline constexpr UINT32 EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS = 0x00000010;
inline constexpr UINT32 EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS = 0x00000020;
inline constexpr UINT32 EFI_VARIABLE_APPEND_WRITE = 0x00000040;

enum EFI_RESET_TYPE : UINT32 {
  EfiResetCold = 0,
  EfiResetWarm = 1,
  EfiResetShutdown = 2,
  EfiResetPlatformSpecific = 3,
};

using EFI_EVENT_NOTIFY = VOID(EFIAPI*)(EFI_EVENT Event, VOID* Context);
