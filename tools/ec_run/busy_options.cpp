// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/busy_options.h"

#include <algorithm>

#include "sim/ec_protocol.h"
#include "tools/ec_run/number_text.h"
#include "tools/ec_run/options.h"
#include "tools/ec_run/outcome.h"
#include "tools/ec_run/port_census.h"
#include "tools/ec_run/report_text.h"
#include "tools/image_bench/emulated_machine.h"

namespace ec_run {

namespace {

constexpr size_t kMostIoDecimals = 3; // nanoseconds
constexpr uint64_t kWordsPerBlock = sim::kEcBlockSize / 2;
// A flash status read through the EC: the 0x04 command and its reply, each
// behind one EC wait.
constexpr uint64_t kWaitsPerFlashRead = 2;

struct Knob {
  const char* key;
  unsigned most;
  unsigned* value;
};

unsigned Count(const std::string& option, const std::string& key, const std::string& text,
               unsigned most) {
  const std::optional<uint64_t> value = ParseNumber(text);
  if (!value || *value > most) {
    throw UsageError(option + (key.empty() ? "" : " " + key) +
                     " wants a count of status reads from 0 to " + Grouped(most) + ", not '" +
                     text + "'");
  }
  return static_cast<unsigned>(*value);
}

// "key=N,key=N": each key at most once, at least one.
void ParseKnobs(const std::string& option, const std::string& text, const Knob* knobs,
                size_t count) {
  std::string keys;
  for (size_t k = 0; k < count; ++k) {
    keys += std::string(k == 0 ? "" : ",") + knobs[k].key + "=N";
  }
  std::vector<bool> seen(count, false);
  for (const std::string& item : ListItems(text)) {
    const size_t equals = item.find('=');
    const std::string key = item.substr(0, equals);
    size_t k = 0;
    while (k < count && key != knobs[k].key) {
      ++k;
    }
    if (equals == std::string::npos || k == count || seen[k]) {
      throw UsageError(option + " wants " + keys + " (each at most once), not '" + text + "'");
    }
    seen[k] = true;
    *knobs[k].value = Count(option, key, item.substr(equals + 1), knobs[k].most);
  }
}

} // namespace

void ParseEcBusy(const std::string& text, BusySettings& busy) {
  if (text.find('=') == std::string::npos) {
    busy.ec_input = busy.ec_output = Count("--ec-busy", "", text, kMostEcBusyReads);
    return;
  }
  const Knob knobs[] = {{"input", kMostEcBusyReads, &busy.ec_input},
                        {"output", kMostEcBusyReads, &busy.ec_output}};
  ParseKnobs("--ec-busy", text, knobs, std::size(knobs));
}

void ParseFlashBusy(const std::string& text, BusySettings& busy) {
  const Knob knobs[] = {{"erase", kMostEraseBusyReads, &busy.flash_erase},
                        {"program", kMostProgramBusyReads, &busy.flash_program}};
  ParseKnobs("--flash-busy", text, knobs, std::size(knobs));
}

uint64_t ParseIoNs(const std::string& text) {
  const size_t point = text.find('.');
  std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  const bool digits_only = std::all_of(text.begin(), text.end(),
                                       [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
  const bool shaped = digits_only && fraction.size() <= kMostIoDecimals &&
                      (point == std::string::npos || !fraction.empty());
  fraction.resize(kMostIoDecimals, '0');
  const std::optional<uint64_t> us = ParseNumber(text.substr(0, point));
  const std::optional<uint64_t> ns = ParseNumber(fraction);
  const uint64_t total =
      shaped && us && ns && *us <= kMostIoNs / kNsPerUs ? *us * kNsPerUs + *ns : 0;
  if (total == 0 || total > kMostIoNs) {
    throw UsageError("--io-us wants microseconds per port access, more than 0 and at most " +
                     Grouped(kMostIoNs / kNsPerUs) + ", to 3 decimals (0.25), not '" + text + "'");
  }
  return total;
}

uint64_t ApplyBusy(const BusySettings& busy, sim::PlatformConfig& platform) {
  if (!busy.any()) {
    return image_bench::kDefaultInstructionBudget;
  }
  platform.ec.ibf_busy_reads = busy.ec_input;
  platform.ec.obf_delay_reads = busy.ec_output;
  platform.flash.busy_reads_after_erase = busy.flash_erase;
  platform.flash.busy_reads_after_program = busy.flash_program;

  // Every wait of the never-busy update and of each extra flash status read
  // spins at most this many more status reads, each with its progress write.
  const uint64_t flash_reads =
      uint64_t{kEcBlocks} * (busy.flash_erase + kWordsPerBlock * busy.flash_program);
  const uint64_t waits = RequiredForFullUpdate().status_reads + kWaitsPerFlashRead * flash_reads;
  const uint64_t reads_per_wait = 1 + uint64_t{std::max(busy.ec_input, busy.ec_output)};
  const uint64_t per_wait = 1 + 2 * reads_per_wait; // the byte itself, each read and its progress
  const uint64_t base =
      platform.access_limit != 0 ? platform.access_limit : image_bench::kDefaultAccessBudget;
  platform.access_limit = base + waits * per_wait;
  return image_bench::kDefaultInstructionBudget / image_bench::kDefaultAccessBudget *
         platform.access_limit;
}

} // namespace ec_run
