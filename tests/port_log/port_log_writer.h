// SPDX-License-Identifier: BSD-2-Clause-Patent
// Port logs as the EC device writes them, for the tests: accesses 1 us apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/model_files.h"
#include "sim/port_log.h"

namespace port_log_test {

class LogWriter {
public:
  void Reset() { Record(0, 'r', 0); }
  void PowerCut() { Record(0, 'p', 0); }
  void Access(const sim::PortAccess& a) {
    Record(a.port, a.dir == sim::PortDir::In ? 'i' : 'o', a.value);
  }
  void Accesses(const sim::PortLog& log) {
    for (const sim::PortAccess& a : log) {
      Access(a);
    }
  }
  void Record(uint16_t port, char kind, uint8_t value, uint32_t tail = 0) {
    time_ns_ += 1000;
    for (int i = 0; i < 8; ++i) {
      bytes_.push_back(static_cast<uint8_t>(time_ns_ >> (8 * i)));
    }
    bytes_.insert(bytes_.end(), {static_cast<uint8_t>(port), static_cast<uint8_t>(port >> 8),
                                 static_cast<uint8_t>(kind), value});
    for (int i = 0; i < 4; ++i) {
      bytes_.push_back(static_cast<uint8_t>(tail >> (8 * i)));
    }
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
