// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/model_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "sim/flash_protocol.h"
#include "sim/model_settings.h"

namespace sim {

std::vector<uint8_t> ReadFlashFile(const std::string& path, unsigned line) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    if (errno == ENOENT) {
      return {};
    }
    throw SettingsError("settings line " + std::to_string(line) + ": flash_file " + path +
                        " cannot be read: " + std::strerror(errno));
  }
  std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
  if (file.bad() || bytes.size() != kFlashSize) {
    throw SettingsError("settings line " + std::to_string(line) + ": flash_file " + path + " is " +
                        std::to_string(bytes.size()) + " bytes, not " + std::to_string(kFlashSize));
  }
  return bytes;
}

std::string WriteWhole(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    return temporary + ": " + std::strerror(errno);
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    return temporary + ": write failed";
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return why;
  }
  return {};
}

} // namespace sim
