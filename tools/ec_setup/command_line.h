// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec-setup's command line.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace ec_setup {

enum class Action { Help, Show, RequestUpdate, CancelUpdate, GuardOn, GuardOff };

inline constexpr const char* kDefaultEfivars = "/sys/firmware/efi/efivars";

struct Options {
  std::string efivars = kDefaultEfivars;
  Action action = Action::Help;
  uint8_t threshold = 0; // guard on
  bool dry_run = false;
  bool json = false;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws UsageError with the reason.
Options ParseCommandLine(std::span<const std::string> args);

std::string UsageText();

} // namespace ec_setup
