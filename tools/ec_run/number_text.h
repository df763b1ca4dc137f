// SPDX-License-Identifier: BSD-2-Clause-Patent
// Whole numbers as the command line writes them: decimal, or hexadecimal after
// 0x. Nothing else: no sign, no spaces, no suffix. And the comma lists that
// hold them.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ec_run {

inline std::optional<uint64_t> ParseNumber(std::string_view text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
  if (text.empty() || first == last || error != std::errc() || end != last) {
    return std::nullopt;
  }
  return value;
}

// The items between commas, empty ones kept so that "1,,2" and "" are refused.
inline std::vector<std::string> ListItems(const std::string& text) {
  std::vector<std::string> items;
  size_t from = 0;
  while (true) {
    const size_t comma = text.find(',', from);
    items.push_back(text.substr(from, comma - from));
    if (comma == std::string::npos) {
      return items;
    }
    from = comma + 1;
  }
}

} // namespace ec_run
