// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/port_log/port_log_file.h"

#include "tools/ec_run/input_files.h"
#include "tools/ec_run/options.h"
#include "tools/qemu_rig/port_log_record.h"

namespace port_log {

std::vector<Boot> SplitBoots(const std::vector<uint8_t>& bytes) {
  if (bytes.size() % PORT_LOG_RECORD_SIZE != 0) {
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
  for (size_t at = 0; at < bytes.size(); at += PORT_LOG_RECORD_SIZE) {
    const port_log_record record = port_log_record_get(bytes.data() + at);
    // Named only when refused: a whole update is four million records.
    auto where = [at] { return "port log record " + std::to_string(at / PORT_LOG_RECORD_SIZE); };
    if (record.zero != 0) {
      throw ec_run::InputError(where() + ": the last four bytes are not zero");
    }
    switch (record.kind) {
    case PORT_LOG_RESET:
      if (!open || !boots.back().accesses.empty()) {
        start_boot();
      }
      boots.back().reset_ns = record.time_ns; // of the last of a run of resets
      break;
    case PORT_LOG_POWER_CUT:
      if (!open) {
        start_boot();
      }
      boots.back().power_cut = true;
      open = false;
      break;
    case PORT_LOG_READ:
    case PORT_LOG_WRITE:
      if (!open) {
        start_boot();
      }
      boots.back().accesses.push_back(record.kind == PORT_LOG_READ
                                          ? sim::In(record.port, record.value)
                                          : sim::Out(record.port, record.value));
      boots.back().times_ns.push_back(record.time_ns);
      break;
    default:
      throw ec_run::InputError(where() + ": kind " + std::to_string(record.kind) +
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
