// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/input_files.h"

#include <fstream>
#include <iterator>

#include "sim/ec_protocol.h"
#include "tools/ec_run/report_text.h"

namespace ec_run {

std::vector<uint8_t> ReadInputFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw InputError("cannot open " + path);
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> LoadEcImage(const std::string& path) {
  std::vector<uint8_t> file = ReadInputFile(path);
  if (file.size() != sim::kEcImageSize) {
    throw InputError(path + ": " + Grouped(file.size()) + " bytes; an EC image is exactly " +
                     Grouped(sim::kEcImageSize) + " bytes (128 KiB)");
  }
  return file;
}

} // namespace ec_run
