// SPDX-License-Identifier: BSD-2-Clause-Patent
// The settings file's refusals, each one line naming the line and what is
// wrong, and what its keys set on the EC and the flash.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim/model_settings.h"
#include "sim/model_settings_text.h"
#include "sim/scenario.h"

namespace {

TEST(ModelSettings, RefusesEachBadLineWithOneLine) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"ec_busy_input = 1\n\n foo = 2\n", "settings line 3: unknown key 'foo'"},
      {"ec_busy_input 3", "settings line 1: 'ec_busy_input 3' is not 'key = value'"},
      {"= 3", "settings line 1: no key before '='"},
      {"ec_busy_output =", "settings line 1: ec_busy_output has no value"},
      {"ec_busy_input = 1000001", "settings line 1: ec_busy_input wants a number from 0 to "
                                  "1000000, not '1000001'"},
      {"replies_before_ready = -2", "settings line 1: replies_before_ready wants a number from -1 "
                                    "to 1000000, not '-2'"},
      {"flash_busy_erase = 12x", "settings line 1: flash_busy_erase wants a number from 0 to "
                                 "100000000, not '12x'"},
      {"flash_busy_forever = 2", "settings line 1: flash_busy_forever wants a number from 0 to 1, "
                                 "not '2'"},
      {"stuck_erase_address = 0x20000", "settings line 1: stuck_erase_address wants a number from "
                                        "0x0 to 0x1FFFF, not '0x20000'"},
      {"register 0x100 = 1", "settings line 1: register wants a number from 0x0 to 0xFF, not "
                             "'0x100'"},
      {"register = 1", "settings line 1: unknown key 'register'"},
      {"register 0x93 0x94 = 1", "settings line 1: unknown key 'register 0x93 0x94'"},
      {"register 0x93 = 1\nregister 147 = 2", "settings line 2: register 0x93 set twice"},
      {"flash_id = 0xFF 0xFF 0xFE", "settings line 1: flash_id wants 4 bytes, not '0xFF 0xFF "
                                    "0xFE'"},
      {"# a comment\nec_busy_input = 1 # one\nec_busy_input = 2",
       "settings line 3: ec_busy_input set twice"},
  };
  for (const auto& c : cases) {
    try {
      sim::ParseSettings(c.text, "");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const sim::SettingsError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(ModelSettings, EveryKeyReachesItsKnob) {
  const struct {
    const char* text;
    std::function<bool(const sim::ModelSettings&)> holds;
  } cases[] = {
      {"", [](const sim::ModelSettings& s) { return s.keys.empty() && s.flash_file.empty(); }},
      {"ec_busy_input = 3\nec_busy_output = 0x10\nec_busy_at_start = 7",
       [](const sim::ModelSettings& s) {
         return s.ec.ibf_busy_reads == 3 && s.ec.obf_delay_reads == 16 &&
                s.ec.busy_at_start_reads == 7;
       }},
      {"replies_before_ready = -1\nnot_ready_reply = 0xAB",
       [](const sim::ModelSettings& s) {
         return s.ec.replies_before_ready == -1 && s.ec.not_ready_reply == 0xAB;
       }},
      {"register 0x93 = 0x7F\r\nregister 0 = 255",
       [](const sim::ModelSettings& s) {
         return s.ec.registers[0x93] == 0x7F && s.ec.registers[0] == 0xFF && s.ec.registers[1] == 0;
       }},
      {"flash_id = 0x01 2\t0x03   0xFE  # the order read",
       [](const sim::ModelSettings& s) {
         return s.flash.id == std::array<uint8_t, 4>{0x01, 0x02, 0x03, 0xFE};
       }},
      {"flash_busy_erase = 100000000\nflash_busy_program = 2\nflash_busy_forever = 1\n"
       "flash_busy_write_enable = 4\nflash_latch_write_disable = 5",
       [](const sim::ModelSettings& s) {
         return s.flash.busy_reads_after_erase == 100'000'000 &&
                s.flash.busy_reads_after_program == 2 && s.flash.busy_forever &&
                s.flash.busy_reads_after_write_enable == 4 &&
                s.flash.latch_reads_after_write_disable == 5;
       }},
      {"stuck_erase_address = 0x1FFFF\nstuck_value = 0x12\nbad_program_address = 0x400\n"
       "bad_program_flip = 0x80",
       [](const sim::ModelSettings& s) {
         return s.flash.stuck_erase_address == 0x1FFFFu && s.flash.stuck_value == 0x12 &&
                s.flash.bad_program_address == 0x400u && s.flash.bad_program_flip == 0x80;
       }},
      {"flash_file = ec.bin\nreport_file = /tmp/r.json",
       [](const sim::ModelSettings& s) {
         return s.flash_file == "/cfg/ec.bin" && s.flash_file_line == 1 &&
                s.report_file == "/tmp/r.json";
       }},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(c.holds(sim::ParseSettings(c.text, "/cfg"))) << c.text;
  }
}

// The settings text the firmware run hands the emulated machine's EC, read
// back by the model's own parser: every catalogue platform and every knob
// away from its default arrive as configured.
TEST(ModelSettings, SettingsTextRoundTripsThroughTheParser) {
  std::vector<std::pair<std::string, sim::PlatformConfig>> cases;
  for (const sim::Scenario& s : sim::Catalogue()) {
    cases.emplace_back(s.name, s.platform);
  }
  sim::PlatformConfig every;
  every.ec = {7, 100, 3, 1'000'000, 0xA5, {}};
  every.ec.registers[0x00] = 0x01;
  every.ec.registers[0x93] = 0x7F;
  every.ec.registers[0xFF] = 0xFF;
  every.flash.id = {0x01, 0x02, 0x03, 0x04};
  every.flash.busy_reads_after_erase = 100'000'000;
  every.flash.busy_reads_after_program = 2;
  every.flash.busy_forever = true;
  every.flash.busy_reads_after_write_enable = 4;
  every.flash.latch_reads_after_write_disable = 5;
  every.flash.stuck_erase_address = 0;
  every.flash.stuck_value = 0x7E;
  every.flash.bad_program_address = sim::kFlashSize - 1;
  every.flash.bad_program_flip = 0x80;
  cases.emplace_back("every knob", every);
  sim::PlatformConfig never_ready;
  never_ready.ec.replies_before_ready = -5; // any negative count is "never"
  cases.emplace_back("never ready", never_ready);

  for (const auto& [name, platform] : cases) {
    const std::string text = sim::SettingsText(platform.ec, platform.flash);
    const sim::ModelSettings parsed = sim::ParseSettings(text, "");
    sim::EcConfig expected_ec = platform.ec;
    expected_ec.replies_before_ready = std::max(expected_ec.replies_before_ready, -1);
    EXPECT_TRUE(parsed.ec == expected_ec) << name << ":\n" << text;
    EXPECT_TRUE(parsed.flash == platform.flash) << name << ":\n" << text;
  }
  EXPECT_EQ(sim::SettingsText({}, {}), "");
}

} // namespace
