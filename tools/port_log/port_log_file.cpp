// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/port_log/port_log_file.h"

#include "tools/ec_run/input_files.h"
#include "tools/ec_run/options.h"

namespace port_log {

namespace {

constexpr char kRead = 'i';
constexpr char kWrite = 'o';
constexpr char kReset = 'r';
constexpr char kPowerCut = 'p';

uint64_t LittleEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i-- > 0;) {
    value = value << 8 | bytes[i];
  }
  return value;
}

} // namespace

std::vector<Boot> SplitBoots(const std::vector<uint8_t>& bytes) {
  if (bytes.size() % kRecordSize != 0) {
    throw ec_run::InputError("a port log is whole 16-byte records, not " +
                             std::to_string(bytes.size()) + " bytes");
  }
  std::vector<Boot> boots;
  bool open = false; // boots.back() still takes accesses
  auto start_boot = [&] {
    boots.emplace_back();
    boots.back().cold_start = boots.size() == 1 || boots[boots.size() - 2].power_cut;
    open = true;
  };
  for (size_t at = 0; at < bytes.size(); at += kRecordSize) {
    const uint8_t* record = bytes.data() + at;
    const uint64_t time_ns = LittleEndian(record, 8);
    const auto port = static_cast<uint16_t>(LittleEndian(record + 8, 2));
    const char kind = static_cast<char>(record[10]);
    const uint8_t value = record[11];
    const std::string where = "port log record " + std::to_string(at / kRecordSize);
    if (LittleEndian(record + 12, 4) != 0) {
      throw ec_run::InputError(where + ": the last four bytes are not zero");
    }
    switch (kind) {
    case kReset:
      if (!open || !boots.back().accesses.empty()) {
        start_boot();
      }
      boots.back().reset_ns = time_ns; // of the last of a run of resets
      break;
    case kPowerCut:
      if (!open) {
        start_boot();
      }
      boots.back().power_cut = true;
      open = false;
      break;
    case kRead:
    case kWrite:
      if (!open) {
        start_boot();
      }
      boots.back().accesses.push_back(kind == kRead ? sim::In(port, value) : sim::Out(port, value));
      boots.back().times_ns.push_back(time_ns);
      break;
    default:
      throw ec_run::InputError(where + ": kind " + std::to_string(record[10]) +
                               " is none of 'i', 'o', 'r', 'p'");
    }
  }
  return boots;
}

std::vector<Boot> ReadPortLog(const std::string& path) {
  const std::vector<uint8_t> bytes = ec_run::ReadInputFile(path); // its errors name the file
  try {
    return SplitBoots(bytes);
  } catch (const ec_run::InputError& e) {
    throw ec_run::InputError(path + ": " + e.what());
  }
}

const Boot& BootNumber(const std::vector<Boot>& boots, uint64_t number) {
  if (number == 0 || number > boots.size()) {
    throw ec_run::UsageError("the log has " + std::to_string(boots.size()) + " boots, no boot " +
                             std::to_string(number));
  }
  return boots[number - 1];
}

} // namespace port_log
