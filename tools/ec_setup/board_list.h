// SPDX-License-Identifier: BSD-2-Clause-Patent
// The machines ec-setup may change "Setup" on: entries in /etc/ec-setup.conf
// and in the *.conf files of /etc/ec-setup.d/ (a platform team ships one per
// board family), read in name order. An entry:
//
//   [machine]
//   sys_vendor = ...       required
//   product_name = ...     required
//   board_vendor = ...     optional
//   board_name = ...       optional
//
// matches a machine whose DMI values equal every field it names. Lines
// starting with '#' and blank lines are ignored; anything else is an error,
// and a list with an error matches nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/ec_setup/machine_identity.h"

namespace ec_setup {

inline constexpr const char* kDefaultConfig = "/etc/ec-setup.conf";
inline constexpr const char* kDefaultConfigDir = "/etc/ec-setup.d";

struct MachineEntry {
  std::string where;                              // FILE:LINE of its [machine] line
  std::vector<std::optional<std::string>> values; // per kIdentityFields; nullopt: any
};

struct BoardList {
  std::vector<std::string> files; // those read
  std::vector<MachineEntry> entries;
  std::string error; // one line: FILE line N: what is wrong
};

// config: a file or a folder of *.conf files; nullopt: the default file and folder.
BoardList LoadBoardList(const std::optional<std::string>& config);

const MachineEntry* FindMachine(const BoardList& list, const Identity& identity);

// Where an administrator adds this machine.
std::string FileToEdit(const std::optional<std::string>& config);

} // namespace ec_setup
