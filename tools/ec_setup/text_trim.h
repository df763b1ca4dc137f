// SPDX-License-Identifier: BSD-2-Clause-Patent
// Leading and trailing white space off, for values read from files people
// and firmware write.
#pragma once

#include <string>
#include <string_view>

namespace ec_setup {

inline std::string Trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) {
    return "";
  }
  return std::string(text.substr(first, text.find_last_not_of(kSpace) - first + 1));
}

} // namespace ec_setup
