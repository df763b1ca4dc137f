// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/report_text.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ec_run {

namespace {

// EFI text colours 0..7 are black, blue, green, cyan, red, magenta, brown,
// light grey; ANSI numbers the same colours differently. Bit 3 of the
// foreground is "bright".
constexpr int kAnsiOfEfiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};
constexpr unsigned kBrightBit = 0x08;
constexpr unsigned kForegroundMask = 0x07;
constexpr unsigned kBackgroundShift = 4;

std::string Escape(uint64_t attribute) {
  const unsigned fg = attribute & kForegroundMask;
  const bool bright = (attribute & kBrightBit) != 0;
  const unsigned bg = (attribute >> kBackgroundShift) & kForegroundMask;
  return "\x1b[" + std::to_string((bright ? 90 : 30) + kAnsiOfEfiColour[fg]) + ";" +
         std::to_string(40 + kAnsiOfEfiColour[bg]) + "m";
}

} // namespace

std::string Grouped(uint64_t value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<size_t>(at), ",");
  }
  return digits;
}

std::string Seconds(uint64_t microseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu s",
                static_cast<unsigned long long>(microseconds / 1000000),
                static_cast<unsigned long long>(microseconds % 1000000 / 1000));
  return text;
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c >= 0xD800 && c < 0xE000) {
      out.push_back('?'); // the console takes UCS-2; a lone surrogate has no character
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool StdoutHasColour() {
  const char* term = std::getenv("TERM");
  return isatty(STDOUT_FILENO) != 0 && std::getenv("NO_COLOR") == nullptr && term != nullptr &&
         std::strcmp(term, "dumb") != 0;
}

std::string ConsoleLine(const sim::ConsoleOutput& output, bool colour) {
  char where[48];
  std::snprintf(where, sizeof where, "%9s  row %2llu  ", Seconds(output.at_us).c_str(),
                static_cast<unsigned long long>(output.row));
  const std::string text = std::string(output.column, ' ') + Utf8(output.text);
  return where + (colour ? Escape(output.attribute) + text + "\x1b[0m" : text);
}

} // namespace ec_run
