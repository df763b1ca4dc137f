// SPDX-License-Identifier: BSD-2-Clause-Patent
// The input files ec_run and ec_port_log take, read and checked, and the error
// that names a file that cannot be used (exit status 2).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ec_run {

struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The bytes of an input file; InputError names the file and why it cannot be read.
std::vector<uint8_t> ReadInputFile(const std::string& path);
// An EC image file: exactly 128 KiB.
std::vector<uint8_t> LoadEcImage(const std::string& path);

} // namespace ec_run
