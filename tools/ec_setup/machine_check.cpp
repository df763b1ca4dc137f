// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/machine_check.h"

#include "tools/ec_setup/exit_status.h"

namespace ec_setup {

namespace {

std::string FilesWords(const BoardList& boards, const std::optional<std::string>& config) {
  if (boards.files.empty()) {
    return "no configuration file (" + FileToEdit(config) + ")";
  }
  std::string words;
  for (const std::string& file : boards.files) {
    words += (words.empty() ? "" : ", ") + file;
  }
  return words;
}

} // namespace

MachineCheck CheckMachine(const std::optional<std::string>& config, const std::string& dmi) {
  MachineCheck check{ReadIdentity(dmi), LoadBoardList(config), std::nullopt, kExitDone, ""};
  if (!check.boards.error.empty()) {
    check.status = kExitUsage;
    check.refusal = "malformed configuration: " + check.boards.error;
  } else if (!check.identity.identity) {
    check.status = kExitNotHere;
    check.refusal = check.identity.why;
  } else if (const MachineEntry* entry = FindMachine(check.boards, *check.identity.identity)) {
    check.entry = entry->where;
  } else {
    check.status = kExitNotHere;
    check.refusal = "this machine (" + IdentityWords(*check.identity.identity) +
                    ") is not listed in " + FilesWords(check.boards, config) + "; add it to " +
                    FileToEdit(config) + " if its firmware carries the EC drivers";
  }
  return check;
}

} // namespace ec_setup
