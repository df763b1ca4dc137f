// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/native_firmware.h"

#include <string>
#include <utility>

#include "sim/efi_slots.h"

namespace sim {

namespace {

FakeFirmware* g_firmware = nullptr;

FakeFirmware& Fw() {
  if (g_firmware == nullptr) {
    throw UnexpectedCall("firmware service called with no firmware active");
  }
  return *g_firmware;
}

std::u16string Text(const CHAR16* text) {
  return text == nullptr ? u"" : std::u16string(text);
}

// One distinct trap per slot, so the report names the slot.
template <const auto& Names, size_t Index> EFI_STATUS EFIAPI Unexpected() {
  throw UnexpectedCall("unexpected call to " + std::string(Names[Index]));
}

template <const auto& Names, size_t... Index>
void FillTraps(VOID** slots, std::index_sequence<Index...>) {
  ((slots[Index] = reinterpret_cast<VOID*>(&Unexpected<Names, Index>)), ...);
}

template <const auto& Names, typename Table>
void FillTraps(Table& table, size_t first_slot_offset) {
  auto** slots = reinterpret_cast<VOID**>(reinterpret_cast<char*>(&table) + first_slot_offset);
  FillTraps<Names>(slots, std::make_index_sequence<Names.size()>());
}

EFI_STATUS EFIAPI CreateEvent(UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID* Context,
                              EFI_EVENT* Event) {
  uint64_t handle = 0;
  const EFI_STATUS status = Fw().CreateEvent(Type, Tpl, reinterpret_cast<uint64_t>(Notify),
                                             reinterpret_cast<uint64_t>(Context), &handle);
  if (!EFI_ERROR(status)) {
    *Event = reinterpret_cast<EFI_EVENT>(handle);
  }
  return status;
}

EFI_STATUS EFIAPI RegisterProtocolNotify(const EFI_GUID* Protocol, EFI_EVENT Event,
                                         VOID** Registration) {
  const EFI_STATUS status =
      Fw().RegisterProtocolNotify(*Protocol, reinterpret_cast<uint64_t>(Event));
  if (!EFI_ERROR(status)) {
    *Registration = Event;
  }
  return status;
}

EFI_STATUS EFIAPI CloseEvent(EFI_EVENT Event) {
  return Fw().CloseEvent(reinterpret_cast<uint64_t>(Event));
}

EFI_STATUS EFIAPI Stall(UINTN Microseconds) {
  return Fw().Stall(Microseconds);
}

EFI_STATUS EFIAPI GetVariable(const CHAR16* Name, const EFI_GUID* Guid, UINT32* Attributes,
                              UINTN* DataSize, VOID* Data) {
  return Fw().GetVariable(Text(Name), *Guid, Attributes, DataSize, static_cast<UINT8*>(Data));
}

EFI_STATUS EFIAPI SetVariable(const CHAR16* Name, const EFI_GUID* Guid, UINT32 Attributes,
                              UINTN DataSize, VOID* Data) {
  return Fw().SetVariable(Text(Name), *Guid, Attributes, DataSize, static_cast<const UINT8*>(Data));
}

VOID EFIAPI ResetSystem(EFI_RESET_TYPE Type, EFI_STATUS Status, UINTN, VOID*) {
  Fw().ResetSystem(Type, Status);
}

EFI_STATUS EFIAPI OutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, const CHAR16* String) {
  return Fw().OutputString(Text(String));
}

EFI_STATUS EFIAPI SetAttribute(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN Attribute) {
  return Fw().SetAttribute(Attribute);
}

EFI_STATUS EFIAPI SetCursorPosition(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN Column, UINTN Row) {
  return Fw().SetCursorPosition(Column, Row);
}

EFI_STATUS EFIAPI ReadKeyStroke(EFI_SIMPLE_TEXT_INPUT_PROTOCOL*, EFI_INPUT_KEY* Key) {
  return Fw().ReadKeyStroke(&Key->ScanCode, &Key->UnicodeChar);
}

} // namespace

NativeFirmware::NativeFirmware(FakeFirmware& firmware) : firmware_(firmware) {
  g_firmware = &firmware_;
  constexpr size_t kFirstSlot = sizeof(EFI_TABLE_HEADER);
  FillTraps<kBootServiceSlots>(boot_services_, kFirstSlot);
  FillTraps<kRuntimeServiceSlots>(runtime_services_, kFirstSlot);
  FillTraps<kTextOutputSlots>(con_out_, 0);
  FillTraps<kTextInputSlots>(con_in_, 0);

  boot_services_.CreateEvent = CreateEvent;
  boot_services_.RegisterProtocolNotify = RegisterProtocolNotify;
  boot_services_.CloseEvent = CloseEvent;
  boot_services_.Stall = Stall;
  runtime_services_.GetVariable = GetVariable;
  runtime_services_.SetVariable = SetVariable;
  runtime_services_.ResetSystem = ResetSystem;
  con_out_.OutputString = OutputString;
  con_out_.SetAttribute = SetAttribute;
  con_out_.SetCursorPosition = SetCursorPosition;
  con_in_.ReadKeyStroke = ReadKeyStroke;

  system_table_.ConIn = &con_in_;
  system_table_.ConOut = &con_out_;
  system_table_.StdErr = &con_out_;
  system_table_.BootServices = &boot_services_;
  system_table_.RuntimeServices = &runtime_services_;
}

NativeFirmware::~NativeFirmware() {
  if (g_firmware == &firmware_) {
    g_firmware = nullptr;
  }
}

void NativeFirmware::InstallProtocol(const EFI_GUID& protocol) {
  for (const Notification& due : firmware_.InstallProtocol(protocol)) {
    auto notify = reinterpret_cast<EFI_EVENT_NOTIFY>(due.function);
    notify(reinterpret_cast<EFI_EVENT>(due.event), reinterpret_cast<VOID*>(due.context));
  }
}

} // namespace sim
