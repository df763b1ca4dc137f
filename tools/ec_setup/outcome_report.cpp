// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/outcome_report.h"

#include "common/setup_data.h"
#include "sim/json_text.h"

namespace ec_setup {

namespace {

const char* KindName(OutcomeKind kind) {
  switch (kind) {
  case OutcomeKind::Changed:
    return "changed";
  case OutcomeKind::AlreadySo:
    return "already_so";
  case OutcomeKind::DryRun:
    return "dry_run";
  case OutcomeKind::Refused:
    return "refused";
  case OutcomeKind::Failed:
    break;
  }
  return "failed";
}

std::string ByteJson(const std::vector<uint8_t>& data, size_t offset) {
  return SetupHasByte(data.size(), offset) ? std::to_string(data[offset]) : "null";
}

std::string OptionalJson(const std::optional<std::vector<uint8_t>>& data) {
  return data ? EcBytesJson(*data) : "null";
}

} // namespace

std::string EcBytesJson(const std::vector<uint8_t>& data) {
  return "{\"update_request\": " + ByteJson(data, SETUP_EC_UPDATE_REQUEST) +
         ", \"guard_enable\": " + ByteJson(data, SETUP_EC_GUARD_ENABLE) +
         ", \"guard_threshold\": " + ByteJson(data, SETUP_EC_GUARD_THRESHOLD) + "}";
}

std::string JsonStrings(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) {
    list += (list.empty() ? "" : ", ") + sim::JsonString(item);
  }
  return "[" + list + "]";
}

std::string OutcomeJson(const Outcome& outcome) {
  const std::string command =
      outcome.command.empty() ? "null" : sim::JsonString(outcome.command); // unparsed
  return "{\"command\": " + command + ", \"outcome\": \"" + KindName(outcome.kind) +
         "\", \"exit_status\": " + std::to_string(outcome.status) +
         ", \"reason\": " + (outcome.reason.empty() ? "null" : sim::JsonString(outcome.reason)) +
         ", \"before\": " + OptionalJson(outcome.before) +
         ", \"after\": " + OptionalJson(outcome.after) + ", \"ec_register_0x93\": " +
         (outcome.ec_register ? std::to_string(*outcome.ec_register) : "null") +
         ", \"warnings\": " + JsonStrings(outcome.warnings) + "}\n";
}

} // namespace ec_setup
