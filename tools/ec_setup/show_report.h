// SPDX-License-Identifier: BSD-2-Clause-Patent
// `ec-setup show`: the variable and its EC bytes in words, or as JSON.
#pragma once

#include <string>

#include "tools/ec_setup/variable_file.h"

namespace ec_setup {

std::string ShowText(const std::string& path, const Variable& setup);
std::string ShowJson(const std::string& path, const Variable& setup);

} // namespace ec_setup
