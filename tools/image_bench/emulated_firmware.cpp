// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/image_bench/emulated_firmware.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "efi/efi_system_table.h"
#include "sim/efi_slots.h"
#include "sim/hex_text.h"
#include "tools/image_bench/memory_map.h"

namespace image_bench {

using sim::Hex;

namespace {

// Table signatures and revision as firmware fills them in (UEFI 2.70).
constexpr uint64_t kSystemTableSignature = 0x5453595320494249;     // "IBI SYST"
constexpr uint64_t kBootServicesSignature = 0x56524553544F4F42;    // "BOOTSERV"
constexpr uint64_t kRuntimeServicesSignature = 0x56524553544E5552; // "RUNTSERV"
constexpr uint32_t kRevision = (2u << 16) | 70;

constexpr uint8_t kReturnInstruction = 0xC3;
constexpr size_t kTableAlignment = 16;
constexpr size_t kMaxText = 4096;           // characters of one console or variable name
constexpr uint64_t kMaxVariable = 1u << 20; // bytes a driver may pass for one variable

// The UEFI x64 calling convention: four register arguments, then the stack past
// the return address and the 32-byte shadow space.
// A call the firmware cannot serve as made: the run halts naming it.
struct BadCall : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr int kRegisterArgs[] = {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8, UC_X86_REG_R9};
constexpr uint64_t kFirstStackArg = 8 + 32;

} // namespace

EmulatedFirmware::EmulatedFirmware(Cpu& cpu, sim::FakeFirmware& firmware)
    : cpu_(cpu), firmware_(firmware), next_free_(kFirmwareDataBase) {
  cpu_.Map(kFirmwareDataBase, kFirmwareDataSize, UC_PROT_READ | UC_PROT_WRITE);
  cpu_.Map(kTrapBase, kTrapSize, UC_PROT_READ | UC_PROT_EXEC);
  cpu_.Write(kTrapBase, std::vector<uint8_t>(kTrapSize, kReturnInstruction));

  system_table_ = Place(sizeof(EFI_SYSTEM_TABLE));
  boot_services_ = Place(sizeof(EFI_BOOT_SERVICES));
  runtime_services_ = Place(sizeof(EFI_RUNTIME_SERVICES));
  con_out_ = Place(sizeof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL));
  con_in_ = Place(sizeof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL));
  image_handle_ = Place(sizeof(uint64_t)); // an opaque handle; the drivers never look inside

  constexpr size_t kFirstSlot = sizeof(EFI_TABLE_HEADER);
  AddTable("BootServices", sim::kBootServiceSlots, boot_services_ + kFirstSlot);
  AddTable("RuntimeServices", sim::kRuntimeServiceSlots, runtime_services_ + kFirstSlot);
  AddTable("ConOut", sim::kTextOutputSlots, con_out_);
  AddTable("ConIn", sim::kTextInputSlots, con_in_);
  WriteHeader(system_table_, kSystemTableSignature, sizeof(EFI_SYSTEM_TABLE));
  WriteHeader(boot_services_, kBootServicesSignature, sizeof(EFI_BOOT_SERVICES));
  WriteHeader(runtime_services_, kRuntimeServicesSignature, sizeof(EFI_RUNTIME_SERVICES));

  cpu_.Store(system_table_ + offsetof(EFI_SYSTEM_TABLE, ConIn), con_in_);
  cpu_.Store(system_table_ + offsetof(EFI_SYSTEM_TABLE, ConOut), con_out_);
  cpu_.Store(system_table_ + offsetof(EFI_SYSTEM_TABLE, StdErr), con_out_);
  cpu_.Store(system_table_ + offsetof(EFI_SYSTEM_TABLE, BootServices), boot_services_);
  cpu_.Store(system_table_ + offsetof(EFI_SYSTEM_TABLE, RuntimeServices), runtime_services_);

  Provide(boot_services_ + offsetof(EFI_BOOT_SERVICES, CreateEvent),
          &EmulatedFirmware::CreateEvent);
  Provide(boot_services_ + offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify),
          &EmulatedFirmware::RegisterProtocolNotify);
  Provide(boot_services_ + offsetof(EFI_BOOT_SERVICES, CloseEvent), &EmulatedFirmware::CloseEvent);
  Provide(boot_services_ + offsetof(EFI_BOOT_SERVICES, Stall), &EmulatedFirmware::Stall);
  Provide(runtime_services_ + offsetof(EFI_RUNTIME_SERVICES, GetVariable),
          &EmulatedFirmware::GetVariable);
  Provide(runtime_services_ + offsetof(EFI_RUNTIME_SERVICES, SetVariable),
          &EmulatedFirmware::SetVariable);
  Provide(runtime_services_ + offsetof(EFI_RUNTIME_SERVICES, ResetSystem),
          &EmulatedFirmware::ResetSystem);
  Provide(con_out_ + offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, OutputString),
          &EmulatedFirmware::OutputString);
  Provide(con_out_ + offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetAttribute),
          &EmulatedFirmware::SetAttribute);
  Provide(con_out_ + offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetCursorPosition),
          &EmulatedFirmware::SetCursorPosition);
  Provide(con_in_ + offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, ReadKeyStroke),
          &EmulatedFirmware::ReadKeyStroke);

  cpu_.Hook(UC_HOOK_CODE, reinterpret_cast<void*>(&EmulatedFirmware::OnTrap), this, kTrapBase,
            kTrapBase + kTrapSize - 1);
}

uint64_t EmulatedFirmware::Place(size_t size) {
  const uint64_t at = next_free_;
  next_free_ += (size + kTableAlignment - 1) & ~(kTableAlignment - 1);
  if (next_free_ > kFirmwareDataBase + kFirmwareDataSize) {
    throw EmulatorError("firmware tables do not fit their page");
  }
  return at;
}

void EmulatedFirmware::AddTable(std::string_view table, std::span<const std::string_view> slots,
                                uint64_t first_slot) {
  for (size_t i = 0; i < slots.size(); ++i) {
    cpu_.Store<uint64_t>(first_slot + i * sizeof(uint64_t), kTrapBase + traps_.size());
    traps_.push_back(Trap{std::string(table) + "." + std::string(slots[i])});
  }
}

void EmulatedFirmware::WriteHeader(uint64_t table, uint64_t signature, uint32_t size) {
  EFI_TABLE_HEADER header{};
  header.Signature = signature;
  header.Revision = kRevision;
  header.HeaderSize = size;
  cpu_.Store(table, header);
}

void EmulatedFirmware::Provide(uint64_t slot, Service service) {
  traps_.at(cpu_.Load<uint64_t>(slot) - kTrapBase).service = service;
}

void EmulatedFirmware::OnTrap(uc_engine*, uint64_t address, uint32_t, void* user) {
  static_cast<EmulatedFirmware*>(user)->Serve(address);
}

void EmulatedFirmware::Serve(uint64_t address) {
  const uint64_t index = address - kTrapBase;
  if (index >= traps_.size()) {
    cpu_.HaltRun(HaltKind::Stopped, "jump into the firmware trap page at " + Hex(address));
    return;
  }
  const Trap& trap = traps_[index];
  if (trap.service == nullptr) {
    cpu_.HaltRun(HaltKind::Stopped, "unexpected call to " + trap.name);
    return;
  }
  try {
    (this->*trap.service)();
  } catch (const std::exception& e) {
    cpu_.HaltRun(HaltKind::Stopped, trap.name + ": " + e.what());
  }
}

uint64_t EmulatedFirmware::Arg(int index) {
  if (index < static_cast<int>(std::size(kRegisterArgs))) {
    return cpu_.Reg(kRegisterArgs[index]);
  }
  const uint64_t slot = kFirstStackArg + (index - std::size(kRegisterArgs)) * sizeof(uint64_t);
  return cpu_.Load<uint64_t>(cpu_.Reg(UC_X86_REG_RSP) + slot);
}

void EmulatedFirmware::Return(EFI_STATUS status) {
  cpu_.SetReg(UC_X86_REG_RAX, status);
}

std::u16string EmulatedFirmware::ReadText(uint64_t address) {
  std::u16string text;
  for (char16_t c = cpu_.Load<char16_t>(address); c != 0;
       c = cpu_.Load<char16_t>(address += sizeof(char16_t))) {
    if (text.size() == kMaxText) {
      throw BadCall("text at " + Hex(address) + " has no terminator within " +
                    std::to_string(kMaxText) + " characters");
    }
    text.push_back(c);
  }
  return text;
}

// A protocol function gets its own instance as This; anything else is a
// driver fault that real firmware would not survive either.
void EmulatedFirmware::ExpectThis(uint64_t protocol) {
  if (Arg(0) != protocol) {
    throw BadCall("called with This " + Hex(Arg(0)) + " instead of " + Hex(protocol));
  }
}

void EmulatedFirmware::CreateEvent() {
  uint64_t event = 0;
  const EFI_STATUS status =
      firmware_.CreateEvent(static_cast<uint32_t>(Arg(0)), Arg(1), Arg(2), Arg(3), &event);
  if (!EFI_ERROR(status)) {
    cpu_.Store(Arg(4), event);
  }
  Return(status);
}

void EmulatedFirmware::RegisterProtocolNotify() {
  const auto protocol = cpu_.Load<EFI_GUID>(Arg(0));
  const EFI_STATUS status = firmware_.RegisterProtocolNotify(protocol, Arg(1));
  if (!EFI_ERROR(status)) {
    cpu_.Store(Arg(2), Arg(1)); // the registration key: the event itself
  }
  Return(status);
}

void EmulatedFirmware::CloseEvent() {
  Return(firmware_.CloseEvent(Arg(0)));
}

void EmulatedFirmware::Stall() {
  Return(firmware_.Stall(Arg(0)));
}

void EmulatedFirmware::GetVariable() {
  const std::u16string name = ReadText(Arg(0));
  const auto guid = cpu_.Load<EFI_GUID>(Arg(1));
  const uint64_t attributes_at = Arg(2);
  const uint64_t size_at = Arg(3);
  uint64_t size = std::min(cpu_.Load<uint64_t>(size_at), kMaxVariable);
  std::vector<uint8_t> data(size);
  uint32_t attributes = 0;
  const EFI_STATUS status = firmware_.GetVariable(
      name, guid, attributes_at != 0 ? &attributes : nullptr, &size, data.data());
  if (status == EFI_SUCCESS) {
    cpu_.Write(Arg(4), {data.data(), data.size()}); // with the poison past the size
    if (attributes_at != 0) {
      cpu_.Store(attributes_at, attributes);
    }
  }
  if (status == EFI_SUCCESS || status == EFI_BUFFER_TOO_SMALL) {
    cpu_.Store(size_at, size);
  }
  Return(status);
}

void EmulatedFirmware::SetVariable() {
  const std::u16string name = ReadText(Arg(0));
  const auto guid = cpu_.Load<EFI_GUID>(Arg(1));
  const uint64_t size = Arg(3);
  if (size > kMaxVariable) {
    throw BadCall(std::to_string(size) + " bytes is no variable this platform stores");
  }
  std::vector<uint8_t> data(size);
  cpu_.Read(Arg(4), data);
  Return(firmware_.SetVariable(name, guid, static_cast<uint32_t>(Arg(2)), size, data.data()));
}

// The machine goes off or restarts inside the call: it never returns.
void EmulatedFirmware::ResetSystem() {
  const auto type = static_cast<EFI_RESET_TYPE>(Arg(0));
  firmware_.ResetSystem(type, Arg(1));
  cpu_.HaltRun(type == EfiResetShutdown ? HaltKind::PowerOff : HaltKind::Restart,
               "ResetSystem(" + std::to_string(type) + ")");
}

void EmulatedFirmware::OutputString() {
  ExpectThis(con_out_);
  Return(firmware_.OutputString(ReadText(Arg(1))));
  if (on_console) {
    on_console(firmware_.console().back());
  }
}

void EmulatedFirmware::SetAttribute() {
  ExpectThis(con_out_);
  Return(firmware_.SetAttribute(Arg(1)));
}

void EmulatedFirmware::SetCursorPosition() {
  ExpectThis(con_out_);
  Return(firmware_.SetCursorPosition(Arg(1), Arg(2)));
}

void EmulatedFirmware::ReadKeyStroke() {
  ExpectThis(con_in_);
  EFI_INPUT_KEY key{};
  const EFI_STATUS status = firmware_.ReadKeyStroke(&key.ScanCode, &key.UnicodeChar);
  if (!EFI_ERROR(status)) {
    cpu_.Store(Arg(1), key);
  }
  Return(status);
}

} // namespace image_bench
