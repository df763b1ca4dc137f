// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/model_report.h"

#include <algorithm>

#include "sim/json_text.h"

namespace sim {

namespace {

std::string Field(const char* name, const std::string& value, bool last = false) {
  return std::string("  ") + JsonString(name) + ": " + value + (last ? "\n" : ",\n");
}

} // namespace

std::string ReportJson(const ModelReport& r) {
  const size_t listed = std::min(r.violations.size(), kReportedViolations);
  std::string list = "[";
  for (size_t i = 0; i < listed; ++i) {
    list += (i == 0 ? "\n    " : ",\n    ") + JsonString(r.violations[i]);
  }
  list += listed == 0 ? "]" : "\n  ]";
  const std::string flash = "{\"erases\": " + std::to_string(r.flash.erases) +
                            ", \"word_programs\": " + std::to_string(r.flash.word_programs) +
                            ", \"status_reads\": " + std::to_string(r.flash.status_reads) +
                            ", \"transactions\": " + std::to_string(r.flash.transactions) + "}";
  return "{\n" + Field("violation_count", std::to_string(r.violations.size())) +
         Field("violations", list) + Field("accesses", std::to_string(r.accesses)) +
         Field("platform_resets", std::to_string(r.platform_resets)) +
         Field("reset_writes", std::to_string(r.reset_writes)) +
         Field("last_progress_code", std::to_string(r.last_progress_code)) +
         Field("in_pass_through", r.in_pass_through ? "true" : "false") +
         Field("guard_threshold", std::to_string(r.guard_threshold)) +
         Field("handshake_replies", std::to_string(r.handshake_replies)) +
         Field("flash", flash, true) + "}\n";
}

} // namespace sim
