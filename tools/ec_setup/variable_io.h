// SPDX-License-Identifier: BSD-2-Clause-Patent
// Reading and rewriting one variable file in place. The two operations are
// passed around as a pair so that a test can stand in for the kernel: a
// firmware that refuses the write, or one that stores something else.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ec_setup {

// Why an operation stopped: the step it was at and errno (0: no errno).
struct IoFailure {
  std::string step;
  int error = 0;
  bool after_write = false; // the new bytes went in before this step failed
};

struct VariableIo {
  // The whole file.
  std::function<std::optional<IoFailure>(const std::string& path, std::vector<uint8_t>& bytes)>
      read;
  // The whole file again, in one write(2); never truncated, recreated or removed.
  std::function<std::optional<IoFailure>(const std::string& path, std::span<const uint8_t> bytes)>
      write;
  // The immutable flag; nullopt where the file system keeps no inode flags.
  std::function<std::optional<bool>(const std::string& path)> immutable;
};

// The real files: efivarfs, or plain files laid out the same way.
VariableIo FileIo();

} // namespace ec_setup
