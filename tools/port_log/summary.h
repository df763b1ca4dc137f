// SPDX-License-Identifier: BSD-2-Clause-Patent
// The boots of a port log as JSON, for a harness that checks short exchanges
// itself: per boot its accesses, how it began and ended and, while it is
// short, the bytes written to and read from each port in order.
#pragma once

#include <string>
#include <vector>

#include "tools/port_log/port_log_file.h"

namespace port_log {

// Boots with at least this many accesses list no port bytes.
inline constexpr size_t kMostListedAccesses = 100'000;

std::string SummaryJson(const std::vector<Boot>& boots);

} // namespace port_log
