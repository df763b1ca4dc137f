// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/image_bench/cpu.h"

#include "sim/hex_text.h"

namespace image_bench {

using sim::Hex;

namespace {
void Check(uc_err err, const std::string& what) {
  if (err != UC_ERR_OK) {
    throw EmulatorError(what + ": " + uc_strerror(err));
  }
}
} // namespace

Cpu::Cpu() {
  Check(uc_open(UC_ARCH_X86, UC_MODE_64, &uc_), "opening the x86-64 engine");
}

Cpu::~Cpu() {
  uc_close(uc_);
}

void Cpu::Map(uint64_t address, uint64_t size, uint32_t protection) {
  Check(uc_mem_map(uc_, address, size, protection), "mapping " + Hex(address));
}

void Cpu::Protect(uint64_t address, uint64_t size, uint32_t protection) {
  Check(uc_mem_protect(uc_, address, size, protection), "protecting " + Hex(address));
}

void Cpu::Write(uint64_t address, std::span<const uint8_t> bytes) {
  if (uc_mem_write(uc_, address, bytes.data(), bytes.size()) != UC_ERR_OK) {
    throw MemoryFault("cannot write " + std::to_string(bytes.size()) + " bytes at " + Hex(address));
  }
}

void Cpu::Read(uint64_t address, std::span<uint8_t> bytes) {
  if (uc_mem_read(uc_, address, bytes.data(), bytes.size()) != UC_ERR_OK) {
    throw MemoryFault("cannot read " + std::to_string(bytes.size()) + " bytes at " + Hex(address));
  }
}

uint64_t Cpu::Reg(int id) {
  uint64_t value = 0;
  Check(uc_reg_read(uc_, id, &value), "reading a register");
  return value;
}

void Cpu::SetReg(int id, uint64_t value) {
  Check(uc_reg_write(uc_, id, &value), "writing a register");
}

void Cpu::Hook(int type, void* callback, void* user, uint64_t begin, uint64_t end) {
  uc_hook handle;
  Check(uc_hook_add(uc_, &handle, type, callback, user, begin, end), "adding a hook");
}

void Cpu::HookInstruction(int instruction, void* callback, void* user) {
  uc_hook handle;
  Check(uc_hook_add(uc_, &handle, UC_HOOK_INSN, callback, user, 1, 0, instruction),
        "adding an instruction hook");
}

std::string Cpu::Run(uint64_t begin, uint64_t until) {
  const uc_err err = uc_emu_start(uc_, begin, until, 0, 0);
  if (err == UC_ERR_OK || halt_.kind != HaltKind::None) {
    return {};
  }
  return std::string(uc_strerror(err)) + " at " + Hex(Reg(UC_X86_REG_RIP));
}

void Cpu::HaltRun(HaltKind kind, std::string reason) {
  if (halt_.kind == HaltKind::None) {
    halt_ = Halt{kind, std::move(reason)};
  }
  uc_emu_stop(uc_);
}

} // namespace image_bench
