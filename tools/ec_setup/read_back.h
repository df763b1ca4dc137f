// SPDX-License-Identifier: BSD-2-Clause-Patent
// The comparison after a write: what the variable holds against what was written.
#pragma once

#include <string>

#include "tools/ec_setup/variable_file.h"

namespace ec_setup {

// Empty when equal; otherwise what differs, attributes and size first, then
// the first differing bytes.
std::string Differences(const Variable& written, const Variable& read);

} // namespace ec_setup
