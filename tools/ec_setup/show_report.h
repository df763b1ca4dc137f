// SPDX-License-Identifier: BSD-2-Clause-Patent
// `ec-setup show`: the variable and its EC bytes in words, or as JSON.
#pragma once

#include <optional>
#include <string>

#include "tools/ec_setup/variable_file.h"

namespace ec_setup {

// immutable: the file's immutable flag, nullopt where there are no inode flags.
std::string ShowText(const std::string& path, const Variable& setup, std::optional<bool> immutable);
std::string ShowJson(const std::string& path, const Variable& setup, std::optional<bool> immutable);

} // namespace ec_setup
