// SPDX-License-Identifier: BSD-2-Clause-Patent
// Whether this machine is one ec-setup may change "Setup" on: its DMI
// identity against the configured board list.
#pragma once

#include <optional>
#include <string>

#include "tools/ec_setup/board_list.h"
#include "tools/ec_setup/machine_identity.h"

namespace ec_setup {

struct MachineCheck {
  IdentityRead identity;
  BoardList boards;
  std::optional<std::string> entry; // where the matching entry is
  int status = 0;                   // 0: listed; otherwise the exit status of a change
  std::string refusal;              // one line, when not listed
};

MachineCheck CheckMachine(const std::optional<std::string>& config, const std::string& dmi);

} // namespace ec_setup
