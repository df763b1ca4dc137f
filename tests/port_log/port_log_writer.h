// SPDX-License-Identifier: BSD-2-Clause-Patent
// Port logs as the EC device writes them, for the tests: accesses 1 us apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/model_files.h"
#include "sim/port_log.h"
#include "tools/qemu_rig/port_log_record.h"

namespace port_log_test {

class LogWriter {
public:
  void Reset() { Record(0, PORT_LOG_RESET, 0); }
  void PowerCut() { Record(0, PORT_LOG_POWER_CUT, 0); }
  void Access(const sim::PortAccess& a) {
    Record(a.port, a.dir == sim::PortDir::In ? PORT_LOG_READ : PORT_LOG_WRITE, a.value);
  }
  void Accesses(const sim::PortLog& log) {
    bytes_.reserve(bytes_.size() + PORT_LOG_RECORD_SIZE * log.size());
    for (const sim::PortAccess& a : log) {
      Access(a);
    }
  }
  void Record(uint16_t port, char kind, uint8_t value, uint32_t tail = 0) {
    time_ns_ += 1000;
    const port_log_record record{time_ns_, port, static_cast<uint8_t>(kind), value, tail};
    bytes_.resize(bytes_.size() + PORT_LOG_RECORD_SIZE);
    port_log_record_put(bytes_.data() + bytes_.size() - PORT_LOG_RECORD_SIZE, &record);
  }
  [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }
  [[nodiscard]] bool Save(const std::string& path) const {
    return sim::WriteWhole(path, {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()})
        .empty();
  }

private:
  std::vector<uint8_t> bytes_;
  uint64_t time_ns_ = 0;
};

} // namespace port_log_test
