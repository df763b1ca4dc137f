// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/scenario.h"

#include <random>

namespace sim {

std::vector<uint8_t> PatternSetup(size_t size) {
  std::vector<uint8_t> setup(size);
  for (size_t i = 0; i < size; ++i) {
    setup[i] = static_cast<uint8_t>(i * 37 + 11);
  }
  return setup;
}

std::vector<uint8_t> RandomImage(uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> image(kEcImageSize);
  for (uint8_t& byte : image) {
    byte = static_cast<uint8_t>(random());
  }
  return image;
}

Scenario UpdateScenario(std::string name, std::string summary, uint8_t request) {
  Scenario s;
  s.name = std::move(name);
  s.summary = std::move(summary);
  s.setup = PatternSetup();
  (*s.setup)[kRequestByte] = request;
  s.platform.ec_image = RandomImage(2026);
  s.platform.flash_before = RandomImage(1999);
  return s;
}

Scenario GuardScenario(std::string name, std::string summary, uint8_t enable, uint8_t threshold,
                       uint8_t reading) {
  Scenario s;
  s.name = std::move(name);
  s.summary = std::move(summary);
  s.driver = Driver::Guard;
  s.setup = PatternSetup();
  (*s.setup)[kGuardEnableByte] = enable;
  (*s.setup)[kGuardThresholdByte] = threshold;
  s.platform.ec.registers[kGuardRegister] = reading;
  return s;
}

namespace {

std::vector<Scenario> Build() {
  std::vector<Scenario> all;
  auto add = [&](Scenario s) -> Scenario& { return all.emplace_back(std::move(s)); };

  add(UpdateScenario("update", "request set, no key, healthy EC: all 128 blocks written"));
  add(UpdateScenario("skip-q", "'q' typed at 2.5 s: update skipped")).keys = {{2500000, u'q'}};
  add(UpdateScenario("skip-Q", "Shift+Q typed at 1 s: update skipped")).keys = {{1000000, u'Q'}};
  add(UpdateScenario("skip-queued-Q", "'Q' typed before the prompt: taken at the first poll"))
      .keys = {{0, u'Q'}};
  add(UpdateScenario("skip-after-other-keys", "keys 'a', Enter, 'z' then 'q'")).keys = {
      {0, u'a'}, {0, u'\r'}, {0, u'z'}, {0, u'q'}};
  add(UpdateScenario("key-too-late", "'q' typed at 5.1 s: after the last poll, update runs"))
      .keys = {{5100000, u'q'}};
  add(UpdateScenario("no-request-0", "request byte 0: nothing happens", 0));
  add(UpdateScenario("no-request-2", "request byte 2: nothing happens, byte stays 2", 2));
  add(UpdateScenario("no-request-255", "request byte 255: nothing happens", 255));
  {
    Scenario& s = add(UpdateScenario("no-setup", "\"Setup\" absent: nothing happens"));
    s.setup.reset();
  }
  {
    Scenario& s = add(UpdateScenario("short-setup", "\"Setup\" of 3172 bytes: no request byte"));
    s.setup = PatternSetup(kRequestByte);
  }
  add(UpdateScenario("ec-never-ready", "EC never answers 0x33: init failure, restart"))
      .platform.ec.replies_before_ready = -1;
  add(UpdateScenario("ec-ready-10th", "0x33 is the tenth reply: update runs"))
      .platform.ec.replies_before_ready = 9;
  add(UpdateScenario("wrong-id", "flash identifies as FF FF FF FE: init failure, restart"))
      .platform.flash.id = {0xFF, 0xFF, 0xFF, 0xFE};
  add(UpdateScenario("blank-check-fault", "byte 0x3FF of block 5 does not erase: update fails"))
      .platform.flash.stuck_erase_address = 5 * kEcBlockSize + (kEcBlockSize - 1);
  add(UpdateScenario("verify-fault", "byte 0 of block 100 programs wrong: update fails"))
      .platform.flash.bad_program_address = 100 * kEcBlockSize;
  add(UpdateScenario("all-ff-image", "an image of all 0xFF is still erased, programmed, verified"))
      .platform.ec_image.assign(kEcImageSize, kFlashErased);
  add(UpdateScenario("second-trigger", "the trigger is installed twice: the flow runs once"))
      .trigger_installs = 2;
  {
    Scenario& s = add(UpdateScenario("skip-second-trigger",
                                     "skipped, then the trigger is installed again: nothing more"));
    s.keys = {{0, u'q'}};
    s.trigger_installs = 2;
  }

  add(GuardScenario("guard-power-off", "threshold 0x80, EC reads 0x7F: power-off", 1, 0x80, 0x7F));
  add(GuardScenario("guard-continue", "threshold 0x80, EC reads 0xFF: boot continues", 1, 0x80,
                    0xFF));
  add(GuardScenario("guard-equal", "reading equal to the threshold: boot continues", 1, 0x40,
                    0x40));
  add(GuardScenario("guard-threshold-zero", "threshold 0: never powers off", 1, 0, 0));
  add(GuardScenario("guard-disabled", "guard disabled: no EC traffic", 0, 0xFF, 0));
  {
    Scenario& s = add(
        GuardScenario("guard-no-setup", "\"Setup\" absent: load fails, no traffic", 1, 0x80, 0));
    s.setup.reset();
  }
  return all;
}

} // namespace

const std::vector<Scenario>& Catalogue() {
  static const std::vector<Scenario> all = Build();
  return all;
}

const Scenario* FindScenario(const std::string& name) {
  for (const Scenario& s : Catalogue()) {
    if (s.name == name) {
      return &s;
    }
  }
  return nullptr;
}

} // namespace sim
