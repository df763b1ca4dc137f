// SPDX-License-Identifier: BSD-2-Clause-Patent
// Port accesses sorted by what they are in the EC handshake, and the counts a
// full update must make with an EC and flash that are never busy, counted off
// the port sequence the simulator derives from the protocol description
// (sim::ProtocolTrace), never from a run.
#pragma once

#include <cstdint>

#include "sim/port_log.h"

namespace ec_run {

// The name of the access's port role (sim::RoleOf) in the report.
const char* KindName(const sim::PortAccess& access);

struct PortCensus {
  uint64_t command_writes = 0;  // out 0x66
  uint64_t data_writes = 0;     // out 0x62
  uint64_t data_reads = 0;      // in 0x62
  uint64_t status_reads = 0;    // in 0x66
  uint64_t progress_writes = 0; // out 0x80
  uint64_t other = 0;           // the reset write to 0xCF9, anything else
  [[nodiscard]] uint64_t total() const {
    return command_writes + data_writes + data_reads + status_reads + progress_writes + other;
  }
  friend bool operator==(const PortCensus&, const PortCensus&) = default;
};

PortCensus CountPorts(const sim::PortLog& log);

// What the pass-through protocol costs, in EC command bytes written and EC
// replies read; each costs one status read and one progress write besides.
struct EcTraffic {
  uint64_t commands = 0;
  uint64_t replies = 0;
};

EcTraffic TrafficOf(const PortCensus& census);
// One block: erase, blank check, program, verify.
EcTraffic BlockTraffic();
// The census of a full update: the traffic, its waits, and the reset write.
PortCensus RequiredForFullUpdate();

} // namespace ec_run
