// SPDX-License-Identifier: BSD-2-Clause-Patent
// `ec-setup show`: the variable and its EC bytes, EC register 0x93 and what
// the guard makes of it at the next boot, and whether this machine is listed;
// in words, or as JSON.
#pragma once

#include <optional>
#include <string>

#include "tools/ec_setup/ec_register.h"
#include "tools/ec_setup/machine_check.h"
#include "tools/ec_setup/variable_file.h"

namespace ec_setup {

struct ShowInputs {
  std::string path;
  Variable setup;
  std::optional<bool> immutable; // the file's flag; nullopt where there are no inode flags
  EcReading ec;
  MachineCheck machine;
};

std::string ShowText(const ShowInputs& inputs);
std::string ShowJson(const ShowInputs& inputs);

} // namespace ec_setup
