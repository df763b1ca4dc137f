// SPDX-License-Identifier: BSD-2-Clause-Patent
// One ec-setup run: the command line in, text out, the exit status back.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "tools/ec_setup/variable_io.h"

namespace ec_setup {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // the read-back differs, or the write failed
inline constexpr int kExitRefused = 2; // nothing written

int RunEcSetup(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               const VariableIo& io);

} // namespace ec_setup
