// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec-setup's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "tools/ec_setup/machine_identity.h"

namespace ec_setup {

enum class Action { Help, Version, Show, RequestUpdate, CancelUpdate, GuardOn, GuardOff };

inline constexpr const char* kDefaultEfivars = "/sys/firmware/efi/efivars";

struct Options {
  std::string efivars = kDefaultEfivars;
  std::optional<std::string> ec_io;  // nullopt: ec_sys's file, loaded when missing
  std::optional<std::string> config; // nullopt: /etc/ec-setup.conf and /etc/ec-setup.d/
  std::string dmi = kDefaultDmi;
  Action action = Action::Help;
  std::string command;   // the command's words, as given
  uint8_t threshold = 0; // guard on
  bool dry_run = false;
  bool json = false;
  bool force = false;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws UsageError with the reason.
Options ParseCommandLine(std::span<const std::string> args);

// Whether the arguments ask for JSON, even when they are otherwise wrong.
bool WantsJson(std::span<const std::string> args);

std::string UsageText();
std::string VersionText();

} // namespace ec_setup
