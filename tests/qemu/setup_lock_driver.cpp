// SPDX-License-Identifier: BSD-2-Clause-Patent
// Test-only DXE driver (never shipped): locks "Setup" the way a platform
// protects it from later writers. It registers a lock-now variable policy
// during DXE; the variable driver enforces policies only from the end of DXE
// on, so every write after that (the updater's clearing of its request
// included) is refused with EFI_WRITE_PROTECTED.
#include "tests/qemu/efi_app.h"

namespace {

// The variable driver's policy protocol, as OVMF's variable driver installs it.
constexpr EFI_GUID VariablePolicyProtocolGuid = {
    0x81D1675C, 0x86F6, 0x48DF, {0xBD, 0x95, 0x9A, 0x6E, 0x4F, 0x09, 0x25, 0xC3}};
constexpr UINT32 VARIABLE_POLICY_ENTRY_REVISION = 0x00010000;
constexpr UINT8 VARIABLE_POLICY_TYPE_LOCK_NOW = 1;
constexpr UINT32 VARIABLE_POLICY_NO_MAX_SIZE = 0xFFFFFFFF;

#pragma pack(push, 1)
struct VARIABLE_POLICY_ENTRY {
  UINT32 Version;
  UINT16 Size;
  UINT16 OffsetToName;
  EFI_GUID Namespace;
  UINT32 MinSize;
  UINT32 MaxSize;
  UINT32 AttributesMustHave;
  UINT32 AttributesCantHave;
  UINT8 LockPolicyType;
  UINT8 Padding[3];
};
#pragma pack(pop)
static_assert(sizeof(VARIABLE_POLICY_ENTRY) == 44);

struct EDKII_VARIABLE_POLICY_PROTOCOL {
  UINT64 Revision;
  VOID* DisableVariablePolicy;
  VOID* IsVariablePolicyEnabled;
  EFI_STATUS(EFIAPI* RegisterVariablePolicy)(const VARIABLE_POLICY_ENTRY* PolicyEntry);
  VOID* DumpVariablePolicy;
  VOID* LockVariablePolicy;
};

// The entry is followed by the variable's name, "Setup" with its terminator.
struct SETUP_LOCK {
  VARIABLE_POLICY_ENTRY Entry;
  CHAR16 Name[6];
};

} // namespace

extern "C" EFI_STATUS EFIAPI SetupLockEntry(EFI_HANDLE /*ImageHandle*/,
                                            EFI_SYSTEM_TABLE* SystemTable) {
  auto Locate = reinterpret_cast<EFI_LOCATE_PROTOCOL>(SystemTable->BootServices->LocateProtocol);
  EDKII_VARIABLE_POLICY_PROTOCOL* Policy = nullptr;
  EFI_STATUS Status =
      Locate(&VariablePolicyProtocolGuid, nullptr, reinterpret_cast<VOID**>(&Policy));
  if (EFI_ERROR(Status)) {
    return Status;
  }
  SETUP_LOCK Lock = {};
  Lock.Entry = {VARIABLE_POLICY_ENTRY_REVISION,
                sizeof(SETUP_LOCK),
                sizeof(VARIABLE_POLICY_ENTRY),
                TestSetupGuid,
                0,
                VARIABLE_POLICY_NO_MAX_SIZE,
                0,
                0,
                VARIABLE_POLICY_TYPE_LOCK_NOW,
                {}};
  const CHAR16 Name[] = u"Setup";
  static_assert(sizeof(Name) == sizeof(Lock.Name));
  for (UINTN I = 0; I < sizeof(Name) / sizeof(Name[0]); ++I) {
    Lock.Name[I] = Name[I];
  }
  return Policy->RegisterVariablePolicy(&Lock.Entry);
}
