// SPDX-License-Identifier: BSD-2-Clause-Patent
// Port logs as the EC device writes them, for the tests: accesses 1 us apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "sim/model_files.h"
#include "sim/port_log.h"

namespace port_log_test {

class LogWriter {
public:
  static constexpr size_t kRecordBytes = 16;
  static constexpr size_t kValueByte = 11; // within a record

  void Reset() { Record(0, 'r', 0); }
  void PowerCut() { Record(0, 'p', 0); }
  void Access(const sim::PortAccess& a) {
    Record(a.port, a.dir == sim::PortDir::In ? 'i' : 'o', a.value);
  }
  void Accesses(const sim::PortLog& log) {
    bytes_.reserve(bytes_.size() + kRecordBytes * log.size());
    for (const sim::PortAccess& a : log) {
      Access(a);
    }
  }
  void Record(uint16_t port, char kind, uint8_t value, uint32_t tail = 0) {
    time_ns_ += 1000;
    // One append per record: a full update is four million of them.
    uint8_t record[kRecordBytes];
    for (int i = 0; i < 8; ++i) {
      record[i] = static_cast<uint8_t>(time_ns_ >> (8 * i));
    }
    record[8] = static_cast<uint8_t>(port);
    record[9] = static_cast<uint8_t>(port >> 8);
    record[10] = static_cast<uint8_t>(kind);
    record[kValueByte] = value;
    for (int i = 0; i < 4; ++i) {
      record[12 + i] = static_cast<uint8_t>(tail >> (8 * i));
    }
    bytes_.insert(bytes_.end(), std::begin(record), std::end(record));
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
