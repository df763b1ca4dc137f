// SPDX-License-Identifier: BSD-2-Clause-Patent
// EFI_SYSTEM_TABLE, EFI_BOOT_SERVICES and EFI_RUNTIME_SERVICES, every slot in
// the UEFI specification's order so the offsets match real firmware. Slots the
// drivers never call are untyped pointers.
#pragma once

#include "efi/efi_console.h"
#include "efi/efi_types.h"

struct EFI_TABLE_HEADER {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24); // NOLINT(readability-magic-numbers)

using EFI_CREATE_EVENT = EFI_STATUS(EFIAPI*)(UINT32 Type, EFI_TPL NotifyTpl,
                                             EFI_EVENT_NOTIFY NotifyFunction, VOID* NotifyContext,
                                             EFI_EVENT* Event);
using EFI_CLOSE_EVENT = EFI_STATUS(EFIAPI*)(EFI_EVENT Event);
using EFI_REGISTER_PROTOCOL_NOTIFY = EFI_STATUS(EFIAPI*)(const EFI_GUID* Protocol, EFI_EVENT Event,
                                                         VOID** Registration);
using EFI_STALL = EFI_STATUS(EFIAPI*)(UINTN Microseconds);
enum EFI_INTERFACE_TYPE : UINT32 { EFI_NATIVE_INTERFACE = 0 };
using EFI_INSTALL_PROTOCOL_INTERFACE = EFI_STATUS(EFIAPI*)(EFI_HANDLE* Handle,
                                                           const EFI_GUID* Protocol,
                                                           EFI_INTERFACE_TYPE InterfaceType,
                                                           VOID* Interface);
using EFI_CREATE_EVENT_EX = EFI_STATUS(EFIAPI*)(UINT32 Type, EFI_TPL NotifyTpl,
                                                EFI_EVENT_NOTIFY NotifyFunction,
                                                const VOID* NotifyContext,
                                                const EFI_GUID* EventGroup, EFI_EVENT* Event);

struct EFI_BOOT_SERVICES {
  EFI_TABLE_HEADER Hdr;
  VOID* RaiseTPL;
  VOID* RestoreTPL;
  VOID* AllocatePages;
  VOID* FreePages;
  VOID* GetMemoryMap;
  VOID* AllocatePool;
  VOID* FreePool;
  EFI_CREATE_EVENT CreateEvent;
  VOID* SetTimer;
  VOID* WaitForEvent;
  VOID* SignalEvent;
  EFI_CLOSE_EVENT CloseEvent;
  VOID* CheckEvent;
  EFI_INSTALL_PROTOCOL_INTERFACE InstallProtocolInterface;
  VOID* ReinstallProtocolInterface;
  VOID* UninstallProtocolInterface;
  VOID* HandleProtocol;
  VOID* Reserved;
  EFI_REGISTER_PROTOCOL_NOTIFY RegisterProtocolNotify;
  VOID* LocateHandle;
  VOID* LocateDevicePath;
  VOID* InstallConfigurationTable;
  VOID* LoadImage;
  VOID* StartImage;
  VOID* Exit;
  VOID* UnloadImage;
  VOID* ExitBootServices;
  VOID* GetNextMonotonicCount;
  EFI_STALL Stall;
  VOID* SetWatchdogTimer;
  VOID* ConnectController;
  VOID* DisconnectController;
  VOID* OpenProtocol;
  VOID* CloseProtocol;
  VOID* OpenProtocolInformation;
  VOID* ProtocolsPerHandle;
  VOID* LocateHandleBuffer;
  VOID* LocateProtocol;
  VOID* InstallMultipleProtocolInterfaces;
  VOID* UninstallMultipleProtocolInterfaces;
  VOID* CalculateCrc32;
  VOID* CopyMem;
  VOID* SetMem;
  EFI_CREATE_EVENT_EX CreateEventEx;
};

using EFI_GET_VARIABLE = EFI_STATUS(EFIAPI*)(const CHAR16* VariableName, const EFI_GUID* VendorGuid,
                                             UINT32* Attributes, UINTN* DataSize, VOID* Data);
using EFI_SET_VARIABLE = EFI_STATUS(EFIAPI*)(const CHAR16* VariableName, const EFI_GUID* VendorGuid,
                                             UINT32 Attributes, UINTN DataSize, VOID* Data);
using EFI_RESET_SYSTEM = VOID(EFIAPI*)(EFI_RESET_TYPE ResetType, EFI_STATUS ResetStatus,
                                       UINTN DataSize, VOID* ResetData);

struct EFI_RUNTIME_SERVICES {
  EFI_TABLE_HEADER Hdr;
  VOID* GetTime;
  VOID* SetTime;
  VOID* GetWakeupTime;
  VOID* SetWakeupTime;
  VOID* SetVirtualAddressMap;
  VOID* ConvertPointer;
  EFI_GET_VARIABLE GetVariable;
  VOID* GetNextVariableName;
  EFI_SET_VARIABLE SetVariable;
  VOID* GetNextHighMonotonicCount;
  EFI_RESET_SYSTEM ResetSystem;
  VOID* UpdateCapsule;
  VOID* QueryCapsuleCapabilities;
  VOID* QueryVariableInfo;
};

struct EFI_SYSTEM_TABLE {
  EFI_TABLE_HEADER Hdr;
  CHAR16* FirmwareVendor;
  UINT32 FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  EFI_SIMPLE_TEXT_INPUT_PROTOCOL* ConIn;
  EFI_HANDLE ConsoleOutHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* ConOut;
  EFI_HANDLE StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* StdErr;
  EFI_RUNTIME_SERVICES* RuntimeServices;
  EFI_BOOT_SERVICES* BootServices;
  UINTN NumberOfTableEntries;
  VOID* ConfigurationTable;
};

// Offsets and sizes as UEFI lays these tables out.
// NOLINTBEGIN(readability-magic-numbers)
static_assert(offsetof(EFI_BOOT_SERVICES, CreateEvent) == 80);
static_assert(offsetof(EFI_BOOT_SERVICES, CloseEvent) == 112);
static_assert(offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface) == 128);
static_assert(offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify) == 168);
static_assert(offsetof(EFI_BOOT_SERVICES, Stall) == 248);
static_assert(offsetof(EFI_BOOT_SERVICES, CreateEventEx) == 368);
static_assert(sizeof(EFI_BOOT_SERVICES) == 376);
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetVariable) == 72);
static_assert(offsetof(EFI_RUNTIME_SERVICES, SetVariable) == 88);
static_assert(offsetof(EFI_RUNTIME_SERVICES, ResetSystem) == 104);
static_assert(sizeof(EFI_RUNTIME_SERVICES) == 136);
static_assert(offsetof(EFI_SYSTEM_TABLE, ConIn) == 48);
static_assert(offsetof(EFI_SYSTEM_TABLE, ConOut) == 64);
static_assert(offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == 88);
static_assert(offsetof(EFI_SYSTEM_TABLE, BootServices) == 96);
static_assert(sizeof(EFI_SYSTEM_TABLE) == 120);
// NOLINTEND(readability-magic-numbers)
