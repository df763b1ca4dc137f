// SPDX-License-Identifier: BSD-2-Clause-Patent
// A thin owner of one Unicorn x86-64 engine: memory, registers, hooks and
// runs. Hooks never let a C++ exception cross Unicorn's C frames; they record
// why the machine halted and ask the engine to stop.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace image_bench {

// The engine refused a set-up step (mapping, hook, register).
struct EmulatorError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Emulated memory that is not there, met while serving a call.
struct MemoryFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Why a run ended before its function returned.
enum class HaltKind {
  None,     // still running, or returned normally
  Restart,  // the platform was reset (port 0xCF9 or ResetSystem)
  PowerOff, // ResetSystem(EfiResetShutdown)
  Stopped,  // the bench stopped the run: a budget, a port, a slot, a fault
};

struct Halt {
  HaltKind kind = HaltKind::None;
  std::string reason;
};

class Cpu {
public:
  Cpu();
  ~Cpu();
  Cpu(const Cpu&) = delete;
  Cpu& operator=(const Cpu&) = delete;

  void Map(uint64_t address, uint64_t size, uint32_t protection);
  void Protect(uint64_t address, uint64_t size, uint32_t protection);
  void Write(uint64_t address, std::span<const uint8_t> bytes);
  void Read(uint64_t address, std::span<uint8_t> bytes);

  template <typename T> T Load(uint64_t address) {
    T value;
    Read(address, {reinterpret_cast<uint8_t*>(&value), sizeof value});
    return value;
  }
  template <typename T> void Store(uint64_t address, const T& value) {
    Write(address, {reinterpret_cast<const uint8_t*>(&value), sizeof value});
  }

  uint64_t Reg(int id);
  void SetReg(int id, uint64_t value);

  // Adds a hook over [begin, end]; Unicorn only instruments code in range.
  void Hook(int type, void* callback, void* user, uint64_t begin = 1, uint64_t end = 0);
  void HookInstruction(int instruction, void* callback, void* user);

  // Runs from begin until the program counter reaches until, or a halt.
  // Returns Unicorn's own error text when the CPU itself faulted.
  std::string Run(uint64_t begin, uint64_t until);

  // Called from hooks: the first halt wins, the engine stops after the
  // current instruction.
  void HaltRun(HaltKind kind, std::string reason);
  [[nodiscard]] const Halt& halt() const { return halt_; }

  uc_engine* engine() { return uc_; }

private:
  uc_engine* uc_ = nullptr;
  Halt halt_;
};

} // namespace image_bench
