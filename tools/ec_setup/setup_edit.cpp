// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/setup_edit.h"

#include "common/setup_data.h"

namespace ec_setup {

namespace {

constexpr uint8_t kGuardOn = 1;
constexpr uint8_t kCleared = 0;

struct Target {
  size_t offset;
  const char* name;
  uint8_t value;
};

std::vector<Target> Targets(const Options& options) {
  switch (options.action) {
  case Action::RequestUpdate:
    return {{SETUP_EC_UPDATE_REQUEST, "update request", EC_UPDATE_REQUESTED}};
  case Action::CancelUpdate:
    return {{SETUP_EC_UPDATE_REQUEST, "update request", kCleared}};
  case Action::GuardOn:
    return {{SETUP_EC_GUARD_ENABLE, "guard enable", kGuardOn},
            {SETUP_EC_GUARD_THRESHOLD, "guard threshold", options.threshold}};
  case Action::GuardOff:
    return {{SETUP_EC_GUARD_ENABLE, "guard enable", kCleared}};
  case Action::Help:
  case Action::Version:
  case Action::Show:
    break;
  }
  return {};
}

} // namespace

std::string UnreadableBy(size_t data_size) {
  if (data_size <= SETUP_DATA_SIZE) {
    return "";
  }
  return "larger than the drivers' " + std::to_string(SETUP_DATA_SIZE) +
         "-byte buffer: they cannot read it (EFI_BUFFER_TOO_SMALL) and ignore it";
}

Edit PlanEdit(const Options& options, std::span<const uint8_t> data) {
  Edit edit;
  if (const std::string unreadable = UnreadableBy(data.size()); !unreadable.empty()) {
    edit.refusal = "Setup has " + std::to_string(data.size()) + " bytes, " + unreadable;
    return edit;
  }
  for (const Target& target : Targets(options)) {
    if (!SetupHasByte(data.size(), target.offset)) {
      edit.refusal = "Setup has " + std::to_string(data.size()) + " bytes: the " + target.name +
                     " is byte " + std::to_string(target.offset) + ", so it needs at least " +
                     std::to_string(target.offset + 1);
      edit.changes.clear();
      return edit;
    }
    if (data[target.offset] != target.value) {
      edit.changes.push_back({target.offset, target.name, data[target.offset], target.value});
    }
  }
  return edit;
}

std::vector<uint8_t> Apply(std::span<const uint8_t> data, const std::vector<ByteChange>& changes) {
  std::vector<uint8_t> result(data.begin(), data.end());
  for (const ByteChange& change : changes) {
    result[change.offset] = change.to;
  }
  return result;
}

} // namespace ec_setup
