// SPDX-License-Identifier: BSD-2-Clause-Patent
// One boot of a port log against the oracle. Never busy: access for access.
// Busy: the count the protocol predicts for those waits, and every access
// outside the waits (status reads of 0x66, progress codes) in order.
#pragma once

#include <string>

#include "tools/ec_run/update_oracle.h"
#include "tools/port_log/port_log_file.h"

namespace port_log {

struct Comparison {
  bool equal = false;
  std::string line; // "equal: 4187200 accesses" or where they differ
};

Comparison Compare(const Boot& boot, const ec_run::Oracle& oracle);

} // namespace port_log
