// SPDX-License-Identifier: BSD-2-Clause-Patent
// What the EC saw while it had standby power, as the JSON report written when
// the model closes: enough for a harness outside the build to judge a run
// without parsing the port log (breaches, resets, where the EC was left).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/spi_flash.h"

namespace sim {

struct ModelReport {
  std::vector<std::string> violations; // the EC's, the flash's and the ports'
  uint64_t accesses = 0;               // every access handed to the model
  uint64_t platform_resets = 0;
  uint64_t reset_writes = 0; // full-reset writes to port 0xCF9
  int last_progress_code = -1;
  bool in_pass_through = false;
  int guard_threshold = -1;
  unsigned handshake_replies = 0;
  FlashCounters flash;
};

// At most kReportedViolations are listed; violation_count counts them all.
inline constexpr size_t kReportedViolations = 1000;

std::string ReportJson(const ModelReport& report);

} // namespace sim
