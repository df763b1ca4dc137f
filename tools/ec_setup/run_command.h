// SPDX-License-Identifier: BSD-2-Clause-Patent
// One ec-setup run: the command line in, text out, the exit status back
// (tools/ec_setup/exit_status.h).
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "tools/ec_setup/exit_status.h"
#include "tools/ec_setup/variable_io.h"

namespace ec_setup {

int RunEcSetup(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               const VariableIo& io);

} // namespace ec_setup
