// SPDX-License-Identifier: BSD-2-Clause-Patent
// The firmware's tables in emulated memory: system table, boot services,
// runtime services and the two console protocols, laid out with the same
// definitions the drivers compile against. Every service slot points at its
// own trap address; a hook there serves the call from the fake firmware
// (UEFI x64 calling convention, status in RAX) and the trap's RET returns to the
// caller. A slot the drivers have no business calling halts the run with its
// name.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/fake_firmware.h"
#include "tools/image_bench/cpu.h"

namespace image_bench {

class EmulatedFirmware {
public:
  EmulatedFirmware(Cpu& cpu, sim::FakeFirmware& firmware);
  EmulatedFirmware(const EmulatedFirmware&) = delete;
  EmulatedFirmware& operator=(const EmulatedFirmware&) = delete;

  [[nodiscard]] uint64_t system_table() const { return system_table_; }
  [[nodiscard]] uint64_t image_handle() const { return image_handle_; }

  // Told of every console text as it is written.
  std::function<void(const sim::ConsoleOutput&)> on_console;

private:
  using Service = void (EmulatedFirmware::*)();
  struct Trap {
    std::string name;
    Service service = nullptr;
  };

  uint64_t Place(size_t size);
  void AddTable(std::string_view table, std::span<const std::string_view> slots,
                uint64_t first_slot);
  void WriteHeader(uint64_t table, uint64_t signature, uint32_t size);
  void Provide(uint64_t slot, Service service);

  static void OnTrap(uc_engine* uc, uint64_t address, uint32_t size, void* user);
  void Serve(uint64_t address);
  uint64_t Arg(int index);
  void Return(EFI_STATUS status);
  std::u16string ReadText(uint64_t address);
  void ExpectThis(uint64_t protocol);

  void CreateEvent();
  void RegisterProtocolNotify();
  void CloseEvent();
  void Stall();
  void GetVariable();
  void SetVariable();
  void ResetSystem();
  void OutputString();
  void SetAttribute();
  void SetCursorPosition();
  void ReadKeyStroke();

  Cpu& cpu_;
  sim::FakeFirmware& firmware_;
  std::vector<Trap> traps_;
  uint64_t next_free_;
  uint64_t system_table_ = 0;
  uint64_t boot_services_ = 0;
  uint64_t runtime_services_ = 0;
  uint64_t con_out_ = 0;
  uint64_t con_in_ = 0;
  uint64_t image_handle_ = 0;
};

} // namespace image_bench
