// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/read_back.h"

#include <algorithm>

#include "sim/hex_text.h"

namespace ec_setup {

using sim::Hex;

namespace {

constexpr size_t kBytesNamed = 4; // the rest are counted

void Add(std::string& text, const std::string& item) {
  text += (text.empty() ? "" : "; ") + item;
}

} // namespace

std::string Differences(const Variable& written, const Variable& read, const std::string& was) {
  std::string text;
  if (read.attributes != written.attributes) {
    Add(text,
        "attributes " + Hex(read.attributes, 8) + ", " + was + " " + Hex(written.attributes, 8));
  }
  if (read.data.size() != written.data.size()) {
    Add(text, "size " + std::to_string(read.data.size()) + " bytes, " + was + " " +
                  std::to_string(written.data.size()));
  }
  const size_t common = std::min(read.data.size(), written.data.size());
  size_t differing = 0;
  for (size_t i = 0; i < common; ++i) {
    if (read.data[i] == written.data[i]) {
      continue;
    }
    if (++differing <= kBytesNamed) {
      Add(text, "byte " + std::to_string(i) + " is " + Hex(read.data[i], 2) + ", " + was + " " +
                    Hex(written.data[i], 2));
    }
  }
  if (differing > kBytesNamed) {
    Add(text, std::to_string(differing - kBytesNamed) + " more bytes differ");
  }
  return text;
}

} // namespace ec_setup
