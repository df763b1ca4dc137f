// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tests/port_log/port_log_writer.h"

#include <cstdio>

namespace port_log_test {

bool LogWriter::Save(const std::string& path) const {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  const bool written = std::fwrite(bytes_.data(), 1, bytes_.size(), file) == bytes_.size();
  return std::fclose(file) == 0 && written;
}

} // namespace port_log_test
