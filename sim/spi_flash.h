// SPDX-License-Identifier: BSD-2-Clause-Patent
// A serial NOR flash as the EC's pass-through mode reaches it: byte-wide
// transactions opened by a select, the opcodes the updater uses, a busy bit
// after erase and program, and a write-enable latch. Programming only pulls
// bits to zero; faults are knobs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/flash_protocol.h"

namespace sim {

struct FlashConfig {
  std::array<uint8_t, 4> id = kFlashExpectedId;
  unsigned busy_reads_after_erase = 0; // status reads that still show busy
  unsigned busy_reads_after_program = 0;
  bool busy_forever = false; // the busy bit never clears
  // A flash slow to act on the latch commands: busy shows with the latch for
  // this many status reads after a write enable, and the latch for this many
  // after a write disable that clears it.
  unsigned busy_reads_after_write_enable = 0;
  unsigned latch_reads_after_write_disable = 0;
  // A byte that erase leaves at stuck_value instead of 0xFF.
  std::optional<uint32_t> stuck_erase_address;
  uint8_t stuck_value = 0x00;
  // A byte whose programmed value comes out with these bits flipped.
  std::optional<uint32_t> bad_program_address;
  uint8_t bad_program_flip = 0x01;
  bool operator==(const FlashConfig&) const = default;
};

struct FlashCounters {
  unsigned transactions = 0;
  unsigned erases = 0;
  unsigned word_programs = 0;
  unsigned status_reads = 0;
};

class SpiFlash {
public:
  explicit SpiFlash(FlashConfig config = {});

  void Select();   // ends any open transaction and opens a new one
  void Deselect(); // ends the open transaction
  // The EC's relay restarts with the platform reset and releases chip select
  // mid-transaction: the flash acts on none of the bytes sent since the
  // select (a command cut short is not a command), and the write latch
  // clears, so no write sequence spans the reset. An erase or program
  // already started runs on: the flash, like the EC, stays powered.
  void PlatformReset();
  void Send(uint8_t byte);
  uint8_t Read();

  [[nodiscard]] uint8_t Status() const;
  [[nodiscard]] bool Busy() const { return config_.busy_forever || busy_reads_left_ > 0; }

  std::vector<uint8_t>& memory() { return memory_; }
  [[nodiscard]] const std::vector<uint8_t>& memory() const { return memory_; }
  [[nodiscard]] const FlashCounters& counters() const { return counters_; }
  // Protocol breaches seen (commands while busy, writes without the latch...).
  [[nodiscard]] const std::vector<std::string>& violations() const { return violations_; }

private:
  void EndTransaction();
  void Erase(uint32_t address);
  void ProgramWord(uint32_t address, uint8_t first, uint8_t second);
  void StartBusy(unsigned reads);
  [[nodiscard]] uint32_t AddressFromBytes() const;
  void Violation(std::string what);

  FlashConfig config_;
  std::vector<uint8_t> memory_;
  FlashCounters counters_;
  std::vector<std::string> violations_;
  bool selected_ = false;
  std::vector<uint8_t> bytes_; // the open transaction: opcode first
  uint32_t read_index_ = 0;
  bool write_enabled_ = false;
  bool auto_increment_ = false; // inside a word-program sequence
  uint32_t next_program_address_ = 0;
  unsigned busy_reads_left_ = 0;
  unsigned latch_reads_left_ = 0; // a cleared latch that still shows
};

} // namespace sim
