// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/update_time.h"

#include "tools/ec_run/busy_options.h"
#include "tools/ec_run/port_census.h"
#include "tools/ec_run/report_text.h"

namespace ec_run {

namespace {

std::string Microseconds(uint64_t ns) {
  const std::string fraction = std::to_string(ns % kNsPerUs);
  const std::string decimals =
      ns % kNsPerUs == 0 ? "" : "." + std::string(3 - fraction.size(), '0') + fraction;
  return std::to_string(ns / kNsPerUs) + decimals;
}

uint64_t TimeUs(const RunCost& cost, uint64_t accesses) {
  return cost.virtual_us + (accesses * cost.io_ns + kNsPerUs / 2) / kNsPerUs;
}

} // namespace

std::string AccessesText(const RunCost& cost) {
  std::string text = Grouped(cost.accesses);
  if (cost.full_update) {
    const uint64_t least = RequiredForFullUpdate().total();
    text += " (never busy " + Grouped(least);
    text += cost.accesses > least ? ", +" + Grouped(cost.accesses - least) + ")" : ")";
  }
  return text;
}

std::string UpdateTimeText(const RunCost& cost) {
  std::string text = Seconds(TimeUs(cost, cost.accesses)) + " at " + Microseconds(cost.io_ns) +
                     " us per port access";
  if (cost.full_update) {
    text += " (never busy " + Seconds(TimeUs(cost, RequiredForFullUpdate().total())) + ")";
  }
  return text;
}

} // namespace ec_run
