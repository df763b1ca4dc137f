// Whole numbers as the command line writes them: decimal, or hexadecimal after
// 0x. Nothing else: no sign, no spaces, no suffix.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

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

} // namespace ec_run
