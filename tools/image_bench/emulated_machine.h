// SPDX-License-Identifier: BSD-2-Clause-Patent
// One emulated x86-64 machine with a driver image loaded in it: the image
// mapped away from its preferred base and relocated, a stack, the boot-flash
// window holding the EC image, the firmware tables, and port I/O routed to the
// simulated platform. Functions of the image are called with the UEFI x64
// calling convention and return to a sentinel address.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "sim/fake_firmware.h"
#include "sim/platform.h"
#include "tools/image_bench/cpu.h"
#include "tools/image_bench/emulated_firmware.h"
#include "tools/image_bench/pe_image.h"

namespace image_bench {

// A run that never returns still ends: after this many port accesses (a flash
// stuck busy) or emulated instructions (a loop that touches nothing), unless
// the platform set its own access limit. A full update with a never-busy EC
// makes about 4.2 million accesses and 30 million instructions; the budgets
// leave room for an EC that keeps its status busy for a few reads.
inline constexpr uint64_t kDefaultAccessBudget = 20'000'000;
inline constexpr uint64_t kDefaultInstructionBudget = 250'000'000;

struct MachineOptions {
  uint64_t instruction_budget = kDefaultInstructionBudget;
  bool profile = false; // count executions per instruction address (slow)
  // Every port access, with the firmware's clock (virtual microseconds) then.
  std::function<void(const sim::PortAccess&, uint64_t clock_us)> on_port;
  // The whole boot flash, mapped to end at 4 GiB; empty: the platform's EC
  // image alone at its window. Its size must be a power of two.
  std::vector<uint8_t> boot_flash;
  // false: the platform keeps no port log (a run of hundreds of millions of
  // accesses); on_port still sees every access.
  bool keep_port_log = true;
  std::function<void(const sim::ConsoleOutput&)> on_console;
};

class EmulatedMachine {
public:
  EmulatedMachine(sim::PlatformConfig platform, std::span<const uint8_t> image_file,
                  MachineOptions options = {});
  EmulatedMachine(const EmulatedMachine&) = delete;
  EmulatedMachine& operator=(const EmulatedMachine&) = delete;

  // The image's entry point with an image handle and the system table.
  // Empty when the machine halted instead of returning.
  std::optional<uint64_t> CallEntry();
  // Any routine of the image with two arguments (a notify routine).
  std::optional<uint64_t> Call(uint64_t function, uint64_t first, uint64_t second);

  [[nodiscard]] const Halt& halt() const { return cpu_.halt(); }
  [[nodiscard]] bool halted() const { return cpu_.halt().kind != HaltKind::None; }
  sim::Platform& platform() { return platform_; }
  sim::FakeFirmware& firmware() { return firmware_; }
  [[nodiscard]] const PeImage& image() const { return image_; }
  // Counted a block at a time: when the machine goes down in the middle of a
  // block (the reset write), the rest of that block is counted too.
  [[nodiscard]] uint64_t instructions() const { return instructions_; }
  // Executions per RVA of the image, when profiling.
  [[nodiscard]] const std::vector<uint64_t>& profile() const { return profile_; }

private:
  void MapImage(std::span<const uint8_t> file);
  void HookMachine();

  static uint32_t OnIn(uc_engine* uc, uint32_t port, int size, void* user);
  static void OnOut(uc_engine* uc, uint32_t port, int size, uint32_t value, void* user);
  static bool OnBadMemory(uc_engine* uc, uc_mem_type type, uint64_t address, int size,
                          int64_t value, void* user);
  static void OnInterrupt(uc_engine* uc, uint32_t number, void* user);
  static void OnBlock(uc_engine* uc, uint64_t address, uint32_t size, void* user);
  static void OnInstruction(uc_engine* uc, uint64_t address, uint32_t size, void* user);
  bool CheckPortSize(uint32_t port, int size);

  sim::Platform platform_;
  sim::FakeFirmware firmware_;
  MachineOptions options_;
  Cpu cpu_;
  PeImage image_;
  EmulatedFirmware tables_;
  uint64_t instructions_ = 0;
  std::vector<uint16_t> block_lengths_; // instructions per block, by RVA; 0 = not yet seen
  std::vector<uint64_t> profile_;
};

} // namespace image_bench
