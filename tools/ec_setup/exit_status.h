// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec-setup's exit statuses: a script tells every outcome apart by the status
// alone. The man page and the README list the same table.
#pragma once

namespace ec_setup {

inline constexpr int kExitDone = 0;        // changed, already so, a dry run, shown
inline constexpr int kExitDiffers = 1;     // the write failed part way or the read-back differs
inline constexpr int kExitUsage = 2;       // the command line or a configuration file
inline constexpr int kExitNotHere = 3;     // no variable, no EC reading, board not listed
inline constexpr int kExitUnsafe = 4;      // the guard would power off at the next boot
inline constexpr int kExitPermission = 5;  // not root, a locked variable (EPERM, EACCES, EROFS)
inline constexpr int kExitOtherWriter = 6; // the variable changed between the read and the write

} // namespace ec_setup
