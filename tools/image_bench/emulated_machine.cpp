// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/image_bench/emulated_machine.h"

#include "sim/hex_text.h"
#include "tools/image_bench/memory_map.h"
#include "tools/image_bench/pe_format.h"

namespace image_bench {

using sim::Hex;

namespace {

constexpr uint64_t kShadowSpace = 32;
constexpr uint64_t kStackTopReserve = 0x100; // keeps the first frame 16-byte aligned
constexpr uint64_t kCalleeSavedCanary = 0x5A5A'0000'0000'0000;

// Registers a called routine must hand back unchanged (UEFI x64 convention).
constexpr int kCalleeSaved[] = {UC_X86_REG_RBX, UC_X86_REG_RBP, UC_X86_REG_RDI, UC_X86_REG_RSI,
                                UC_X86_REG_R12, UC_X86_REG_R13, UC_X86_REG_R14, UC_X86_REG_R15};

sim::PlatformConfig WithAccessBudget(sim::PlatformConfig config) {
  if (config.access_limit == 0) {
    config.access_limit = kDefaultAccessBudget;
  }
  return config;
}

uint32_t Protection(uint32_t characteristics) {
  uint32_t protection = UC_PROT_NONE;
  if ((characteristics & pe::kSectionRead) != 0) {
    protection |= UC_PROT_READ;
  }
  if ((characteristics & pe::kSectionWrite) != 0) {
    protection |= UC_PROT_WRITE;
  }
  if ((characteristics & pe::kSectionExecute) != 0) {
    protection |= UC_PROT_EXEC;
  }
  return protection;
}

EmulatedMachine& Self(void* user) {
  return *static_cast<EmulatedMachine*>(user);
}

} // namespace

EmulatedMachine::EmulatedMachine(sim::PlatformConfig platform, std::span<const uint8_t> image_file,
                                 MachineOptions options)
    : platform_(WithAccessBudget(std::move(platform))), options_(std::move(options)),
      image_(ParsePeImage(image_file)), tables_(cpu_, firmware_) {
  tables_.on_console = options_.on_console;
  MapImage(image_file);
  cpu_.Map(kStackBase, kStackSize, UC_PROT_READ | UC_PROT_WRITE);
  if (options_.boot_flash.empty()) {
    cpu_.Map(platform_.ec_image_base(), kBootFlashSize, UC_PROT_READ);
    cpu_.Write(platform_.ec_image_base(), platform_.ec_image());
  } else {
    const uint64_t base = kBootFlashEnd - options_.boot_flash.size();
    cpu_.Map(base, options_.boot_flash.size(), UC_PROT_READ);
    cpu_.Write(base, options_.boot_flash);
  }
  platform_.set_logging(options_.keep_port_log);
  HookMachine();
}

// Each page gets the access its sections ask for (PageAccess).
void EmulatedMachine::MapImage(std::span<const uint8_t> file) {
  const LoadedImage loaded = LayOut(image_, file, kImageLoadAddress);
  cpu_.Map(kImageLoadAddress, PageAlignUp(image_.size_of_image), UC_PROT_READ);
  cpu_.Write(kImageLoadAddress, loaded.memory);
  const std::vector<uint32_t> access = PageAccess(image_, kPageSize);
  for (size_t page = 0; page < access.size(); ++page) {
    cpu_.Protect(kImageLoadAddress + page * kPageSize, kPageSize, Protection(access[page]));
  }
  block_lengths_.assign(image_.size_of_image, 0);
  if (options_.profile) {
    profile_.assign(image_.size_of_image, 0);
  }
}

void EmulatedMachine::HookMachine() {
  cpu_.HookInstruction(UC_X86_INS_IN, reinterpret_cast<void*>(&OnIn), this);
  cpu_.HookInstruction(UC_X86_INS_OUT, reinterpret_cast<void*>(&OnOut), this);
  cpu_.Hook(UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&OnBadMemory), this);
  cpu_.Hook(UC_HOOK_INTR, reinterpret_cast<void*>(&OnInterrupt), this);
  const uint64_t last = kImageLoadAddress + image_.size_of_image - 1;
  cpu_.Hook(UC_HOOK_BLOCK, reinterpret_cast<void*>(&OnBlock), this, kImageLoadAddress, last);
  if (options_.profile) {
    cpu_.Hook(UC_HOOK_CODE, reinterpret_cast<void*>(&OnInstruction), this, kImageLoadAddress, last);
  }
}

std::optional<uint64_t> EmulatedMachine::CallEntry() {
  return Call(kImageLoadAddress + image_.entry_rva, tables_.image_handle(), tables_.system_table());
}

std::optional<uint64_t> EmulatedMachine::Call(uint64_t function, uint64_t first, uint64_t second) {
  if (halted()) {
    return std::nullopt;
  }
  uint64_t sp = kStackBase + kStackSize - kStackTopReserve - kShadowSpace - sizeof(uint64_t);
  cpu_.Store(sp, kReturnSentinel);
  cpu_.SetReg(UC_X86_REG_RSP, sp);
  cpu_.SetReg(UC_X86_REG_RCX, first);
  cpu_.SetReg(UC_X86_REG_RDX, second);
  cpu_.SetReg(UC_X86_REG_R8, 0);
  cpu_.SetReg(UC_X86_REG_R9, 0);
  for (int reg : kCalleeSaved) {
    cpu_.SetReg(reg, kCalleeSavedCanary + reg);
  }
  if (std::string fault = cpu_.Run(function, kReturnSentinel); !fault.empty()) {
    cpu_.HaltRun(HaltKind::Stopped, "CPU fault: " + fault);
  }
  if (halted()) {
    return std::nullopt;
  }
  if (cpu_.Reg(UC_X86_REG_RSP) != sp + sizeof(uint64_t)) {
    cpu_.HaltRun(HaltKind::Stopped, "routine at " + Hex(function) + " returned with RSP moved");
    return std::nullopt;
  }
  for (int reg : kCalleeSaved) {
    if (cpu_.Reg(reg) != kCalleeSavedCanary + reg) {
      cpu_.HaltRun(HaltKind::Stopped,
                   "routine at " + Hex(function) + " did not preserve a callee-saved register");
      return std::nullopt;
    }
  }
  return cpu_.Reg(UC_X86_REG_RAX);
}

bool EmulatedMachine::CheckPortSize(uint32_t port, int size) {
  if (size == 1) {
    return true;
  }
  cpu_.HaltRun(HaltKind::Stopped, std::to_string(size) + "-byte access to port " + Hex(port) +
                                      ": the EC is byte-wide");
  return false;
}

uint32_t EmulatedMachine::OnIn(uc_engine*, uint32_t port, int size, void* user) {
  EmulatedMachine& m = Self(user);
  if (!m.CheckPortSize(port, size)) {
    return 0;
  }
  try {
    const uint8_t value = m.platform_.PortRead(static_cast<uint16_t>(port));
    if (m.options_.on_port) {
      m.options_.on_port(sim::In(static_cast<uint16_t>(port), value), m.firmware_.now_us());
    }
    return value;
  } catch (const std::exception& e) {
    m.cpu_.HaltRun(HaltKind::Stopped, e.what());
    return 0;
  }
}

void EmulatedMachine::OnOut(uc_engine*, uint32_t port, int size, uint32_t value, void* user) {
  EmulatedMachine& m = Self(user);
  if (!m.CheckPortSize(port, size)) {
    return;
  }
  try {
    const auto byte = static_cast<uint8_t>(value);
    m.platform_.PortWrite(static_cast<uint16_t>(port), byte);
    if (m.options_.on_port) {
      m.options_.on_port(sim::Out(static_cast<uint16_t>(port), byte), m.firmware_.now_us());
    }
    // The reset takes the machine down at once; nothing after the write runs.
    if (port == sim::kResetControlPort && m.platform_.reset_requested()) {
      m.cpu_.HaltRun(HaltKind::Restart, "reset through port 0xCF9");
    }
  } catch (const std::exception& e) {
    m.cpu_.HaltRun(HaltKind::Stopped, e.what());
  }
}

bool EmulatedMachine::OnBadMemory(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t,
                                  void* user) {
  EmulatedMachine& m = Self(user);
  const char* what = type == UC_MEM_WRITE_UNMAPPED || type == UC_MEM_WRITE_PROT   ? "write"
                     : type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT ? "fetch"
                                                                                  : "read";
  m.cpu_.HaltRun(HaltKind::Stopped, std::string(what) + " of " + std::to_string(size) +
                                        " bytes at " + Hex(address) + " (no such memory there)" +
                                        " at RIP " + Hex(m.cpu_.Reg(UC_X86_REG_RIP)));
  return false;
}

void EmulatedMachine::OnInterrupt(uc_engine*, uint32_t number, void* user) {
  EmulatedMachine& m = Self(user);
  m.cpu_.HaltRun(HaltKind::Stopped, "CPU exception " + std::to_string(number) + " at RIP " +
                                        Hex(m.cpu_.Reg(UC_X86_REG_RIP)));
}

// Counts instructions a block at a time: Unicorn knows how many each
// translated block holds, so the count costs one call per block, not one
// per instruction.
void EmulatedMachine::OnBlock(uc_engine* uc, uint64_t address, uint32_t, void* user) {
  EmulatedMachine& m = Self(user);
  uint16_t& length = m.block_lengths_[address - kImageLoadAddress];
  if (length == 0) {
    uc_tb block{};
    if (uc_ctl_request_cache(uc, address, &block) != UC_ERR_OK || block.icount == 0) {
      m.cpu_.HaltRun(HaltKind::Stopped, "cannot size the code block at " + Hex(address));
      return;
    }
    length = block.icount;
  }
  m.instructions_ += length;
  if (m.instructions_ > m.options_.instruction_budget) {
    m.cpu_.HaltRun(HaltKind::Stopped, "instruction budget of " +
                                          std::to_string(m.options_.instruction_budget) + " spent");
  }
}

void EmulatedMachine::OnInstruction(uc_engine*, uint64_t address, uint32_t, void* user) {
  ++Self(user).profile_[address - kImageLoadAddress];
}

} // namespace image_bench
