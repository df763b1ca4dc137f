// SPDX-License-Identifier: BSD-2-Clause-Patent
// The EC model's settings file, as the C interface (sim/ec_model_api.h) lists
// its keys: one "key = value" a line, '#' to the end of a line a comment,
// numbers decimal or 0x-prefixed hexadecimal. Every knob the host tests set on
// the EC and its flash has a key here.
#pragma once

#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sim/ec_model.h"
#include "sim/spi_flash.h"

namespace sim {

// One line: "settings line 3: unknown key 'foo'".
struct SettingsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ModelSettings {
  EcConfig ec;
  FlashConfig flash;
  std::string flash_file; // empty: none; relative paths resolved against the settings folder
  unsigned flash_file_line = 0;
  std::string report_file;
  std::set<std::string> keys; // the keys given ("register 0x93" for a register)
};

// `folder` is where relative file paths start ("" for the current folder).
ModelSettings ParseSettings(std::string_view text, const std::string& folder);

// The file read and parsed; a file that cannot be read is a SettingsError too.
ModelSettings ReadSettingsFile(const std::string& path);

} // namespace sim
