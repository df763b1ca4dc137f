// SPDX-License-Identifier: BSD-2-Clause-Patent
// The comparison after a write: what the variable holds against what was written.
#pragma once

#include <string>

#include "tools/ec_setup/variable_file.h"

namespace ec_setup {

// Empty when equal; otherwise what differs, attributes and size first, then
// the first differing bytes ("byte 100 is 0x9B, written 0x64"; was: the word
// for what the tool expected).
std::string Differences(const Variable& written, const Variable& read,
                        const std::string& was = "written");

} // namespace ec_setup
