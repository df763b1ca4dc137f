// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/native_firmware.h"

#include <cstddef>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
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

// The trap of a typed slot, of the slot's own type.
template <const auto& Names, size_t Index, typename Slot> struct TypedTrap;
template <const auto& Names, size_t Index, typename R, typename... A>
struct TypedTrap<Names, Index, R(EFIAPI*)(A...)> {
  static R EFIAPI Call(A... /*unused*/) {
    throw UnexpectedCall("unexpected call to " + std::string(Names[Index]));
  }
};

// Where a slot lies in its table, from its place among the names; a name
// missing from the list lies past the table.
constexpr size_t SlotIndex(std::span<const std::string_view> names, std::string_view name) {
  size_t index = 0;
  while (index < names.size() && names[index] != name) {
    ++index;
  }
  return index;
}
constexpr size_t kFirstServiceSlot = sizeof(EFI_TABLE_HEADER);
constexpr size_t BootSlot(std::string_view name) {
  return kFirstServiceSlot + SlotIndex(kBootServiceSlots, name) * sizeof(VOID*);
}
constexpr size_t RuntimeSlot(std::string_view name) {
  return kFirstServiceSlot + SlotIndex(kRuntimeServiceSlots, name) * sizeof(VOID*);
}
constexpr size_t OutputSlot(std::string_view name) {
  return SlotIndex(kTextOutputSlots, name) * sizeof(VOID*);
}
constexpr size_t InputSlot(std::string_view name) {
  return SlotIndex(kTextInputSlots, name) * sizeof(VOID*);
}

// The slot names, in table order, are the tables' layout: each list covers
// its table's function slots exactly, and every typed slot sits where its
// name is, so a trap reports the slot it stands in.
static_assert(sizeof(EFI_BOOT_SERVICES) == BootSlot("")); // "": no slot, past the last
static_assert(sizeof(EFI_RUNTIME_SERVICES) == RuntimeSlot(""));
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, Mode) == OutputSlot(""));
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, WaitForKey) == InputSlot(""));
static_assert(offsetof(EFI_BOOT_SERVICES, CreateEvent) == BootSlot("CreateEvent"));
static_assert(offsetof(EFI_BOOT_SERVICES, CloseEvent) == BootSlot("CloseEvent"));
static_assert(offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface) ==
              BootSlot("InstallProtocolInterface"));
static_assert(offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify) ==
              BootSlot("RegisterProtocolNotify"));
static_assert(offsetof(EFI_BOOT_SERVICES, Stall) == BootSlot("Stall"));
static_assert(offsetof(EFI_BOOT_SERVICES, CreateEventEx) == BootSlot("CreateEventEx"));
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetVariable) == RuntimeSlot("GetVariable"));
static_assert(offsetof(EFI_RUNTIME_SERVICES, SetVariable) == RuntimeSlot("SetVariable"));
static_assert(offsetof(EFI_RUNTIME_SERVICES, ResetSystem) == RuntimeSlot("ResetSystem"));
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, OutputString) ==
              OutputSlot("OutputString"));
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetAttribute) ==
              OutputSlot("SetAttribute"));
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetCursorPosition) ==
              OutputSlot("SetCursorPosition"));
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, ReadKeyStroke) ==
              InputSlot("ReadKeyStroke"));

// Every slot first gets its trap's address as the VOID* the untyped slots
// are (copied in as bytes: the table is plain data); each typed slot is then
// given a function of its own type, a service below or a typed trap, so no
// slot is left holding a pointer of another type.
template <const auto& Names, size_t... Index>
void FillTraps(char* slots, std::index_sequence<Index...> /*unused*/) {
  (
      [&] {
        VOID* trap = reinterpret_cast<VOID*>(&Unexpected<Names, Index>);
        std::memcpy(slots + Index * sizeof(VOID*), &trap, sizeof trap);
      }(),
      ...);
}

template <const auto& Names, typename Table> void FillTraps(Table& table, size_t first_slot) {
  FillTraps<Names>(reinterpret_cast<char*>(&table) + first_slot,
                   std::make_index_sequence<Names.size()>());
}

template <const auto& Names, size_t Index, typename Slot> constexpr Slot TrapFor() {
  return &TypedTrap<Names, Index, Slot>::Call;
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
  FillTraps<kBootServiceSlots>(boot_services_, kFirstServiceSlot);
  FillTraps<kRuntimeServiceSlots>(runtime_services_, kFirstServiceSlot);
  FillTraps<kTextOutputSlots>(con_out_, 0);
  FillTraps<kTextInputSlots>(con_in_, 0);

  boot_services_.InstallProtocolInterface =
      TrapFor<kBootServiceSlots, SlotIndex(kBootServiceSlots, "InstallProtocolInterface"),
              EFI_INSTALL_PROTOCOL_INTERFACE>();
  boot_services_.CreateEventEx =
      TrapFor<kBootServiceSlots, SlotIndex(kBootServiceSlots, "CreateEventEx"),
              EFI_CREATE_EVENT_EX>();

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
