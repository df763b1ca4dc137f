// SPDX-License-Identifier: BSD-2-Clause-Patent
// What a change command did, as one JSON object for scripts: the outcome,
// its exit status, the reason of a refusal, the EC bytes before and after,
// and the warnings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ec_setup {

enum class OutcomeKind { Changed, AlreadySo, DryRun, Refused, Failed };

struct Outcome {
  std::string command;
  OutcomeKind kind = OutcomeKind::Refused;
  int status = 0;
  std::string reason;                         // refused or failed: the one line printed
  std::optional<std::vector<uint8_t>> before; // the variable's data as read
  std::optional<std::vector<uint8_t>> after;  // as written, or as a dry run would write it
  std::optional<uint8_t> ec_register;         // 0x93, when it was read
  std::vector<std::string> warnings;
};

std::string OutcomeJson(const Outcome& outcome);

// {"update_request": 1, "guard_enable": 0, "guard_threshold": 66}; null for a byte
// the data does not reach.
std::string EcBytesJson(const std::vector<uint8_t>& data);

std::string JsonStrings(const std::vector<std::string>& items);

} // namespace ec_setup
