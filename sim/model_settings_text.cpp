// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/model_settings_text.h"

#include <cstddef>

#include "sim/hex_text.h"

namespace sim {

namespace {

class Lines {
public:
  template <typename T> void Count(const char* key, T value, T by_default) {
    if (value != by_default) {
      text_ += std::string(key) + " = " + std::to_string(value) + "\n";
    }
  }
  void HexValue(const char* key, uint64_t value, uint64_t by_default) {
    if (value != by_default) {
      text_ += std::string(key) + " = " + Hex(value) + "\n";
    }
  }
  void Line(const std::string& key, const std::string& value) {
    text_ += key + " = " + value + "\n";
  }
  [[nodiscard]] std::string text() const { return text_; }

private:
  std::string text_;
};

} // namespace

std::string SettingsText(const EcConfig& ec, const FlashConfig& flash) {
  const EcConfig healthy_ec;
  const FlashConfig healthy_flash;
  Lines out;
  out.Count("ec_busy_input", ec.ibf_busy_reads, healthy_ec.ibf_busy_reads);
  out.Count("ec_busy_output", ec.obf_delay_reads, healthy_ec.obf_delay_reads);
  out.Count("ec_busy_at_start", ec.busy_at_start_reads, healthy_ec.busy_at_start_reads);
  // The model's key knows one "never": -1; the configuration, any negative.
  out.Count("replies_before_ready", ec.replies_before_ready < 0 ? -1 : ec.replies_before_ready,
            healthy_ec.replies_before_ready);
  out.HexValue("not_ready_reply", ec.not_ready_reply, healthy_ec.not_ready_reply);
  for (size_t address = 0; address < ec.registers.size(); ++address) {
    if (ec.registers[address] != healthy_ec.registers[address]) {
      out.Line("register " + HexByte(static_cast<unsigned>(address)),
               HexByte(ec.registers[address]));
    }
  }
  if (flash.id != healthy_flash.id) {
    std::string bytes;
    for (const uint8_t byte : flash.id) {
      bytes += (bytes.empty() ? "" : " ") + HexByte(byte);
    }
    out.Line("flash_id", bytes);
  }
  out.Count("flash_busy_erase", flash.busy_reads_after_erase, healthy_flash.busy_reads_after_erase);
  out.Count("flash_busy_program", flash.busy_reads_after_program,
            healthy_flash.busy_reads_after_program);
  out.Count("flash_busy_forever", unsigned{flash.busy_forever},
            unsigned{healthy_flash.busy_forever});
  out.Count("flash_busy_write_enable", flash.busy_reads_after_write_enable,
            healthy_flash.busy_reads_after_write_enable);
  out.Count("flash_latch_write_disable", flash.latch_reads_after_write_disable,
            healthy_flash.latch_reads_after_write_disable);
  if (flash.stuck_erase_address) {
    out.Line("stuck_erase_address", Hex(*flash.stuck_erase_address));
  }
  out.HexValue("stuck_value", flash.stuck_value, healthy_flash.stuck_value);
  if (flash.bad_program_address) {
    out.Line("bad_program_address", Hex(*flash.bad_program_address));
  }
  out.HexValue("bad_program_flip", flash.bad_program_flip, healthy_flash.bad_program_flip);
  return out.text();
}

} // namespace sim
