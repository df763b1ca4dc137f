// SPDX-License-Identifier: BSD-2-Clause-Patent
// Named situations the drivers can meet on a platform: what Setup holds, which
// keys are typed when, how the EC and its flash behave. One catalogue serves
// the host tests, the image bench and ./run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "efi/efi_types.h"
#include "sim/ec_protocol.h"
#include "sim/fake_firmware.h"
#include "sim/platform.h"

namespace sim {

enum class Driver { Updater, Guard };

struct Scenario {
  std::string name;
  std::string summary;
  Driver driver = Driver::Updater;
  std::optional<std::vector<uint8_t>> setup; // "Setup" contents; absent when empty
  uint32_t setup_attributes = 0x7;           // NV + BS + RT
  std::optional<EFI_STATUS> get_variable_error;
  std::vector<KeyStroke> keys;
  PlatformConfig platform;
  int trigger_installs = 1;
};

// Setup filled with a recognisable pattern, with the given size.
std::vector<uint8_t> PatternSetup(size_t size = kSetupSize);
// A 128 KiB EC image from a seed, and a different "old firmware" for the flash.
std::vector<uint8_t> RandomImage(uint32_t seed);

Scenario UpdateScenario(std::string name, std::string summary, uint8_t request = kUpdateRequested);
Scenario GuardScenario(std::string name, std::string summary, uint8_t enable, uint8_t threshold,
                       uint8_t reading);

const std::vector<Scenario>& Catalogue();
const Scenario* FindScenario(const std::string& name);

} // namespace sim
