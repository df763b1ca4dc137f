// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/port_census.h"

#include <vector>

#include "sim/expectation.h"
#include "sim/platform.h"
#include "sim/protocol_trace.h"
#include "sim/traffic_decoder.h"

namespace ec_run {

EcTraffic TrafficOf(const PortCensus& census) {
  return {census.command_writes, census.data_reads};
}

EcTraffic BlockTraffic() {
  // Any image block will do: with a flash that is never busy and programs
  // every byte right, the block's traffic does not depend on its contents.
  const std::vector<uint8_t> block(sim::kEcBlockSize, sim::kFlashErased);
  sim::ProtocolTrace trace;
  trace.Block(0, block.data(), block, block);
  return TrafficOf(CountPorts(trace.log()));
}

PortCensus RequiredForFullUpdate() {
  // Derived once: the sequence is four million accesses long.
  static const PortCensus census = CountPorts(sim::FullUpdateTrace());
  return census;
}

const char* KindName(const sim::PortAccess& access) {
  switch (sim::RoleOf(access)) {
  case sim::PortRole::CommandWrite:
    return "command write";
  case sim::PortRole::DataWrite:
    return "data write";
  case sim::PortRole::DataRead:
    return "data read";
  case sim::PortRole::StatusRead:
    return "status read";
  case sim::PortRole::ProgressWrite:
    return "progress write";
  case sim::PortRole::Other:
    break;
  }
  return "other";
}

PortCensus CountPorts(const sim::PortLog& log) {
  PortCensus census;
  for (const sim::PortAccess& access : log) {
    switch (sim::RoleOf(access)) {
    case sim::PortRole::CommandWrite:
      ++census.command_writes;
      break;
    case sim::PortRole::DataWrite:
      ++census.data_writes;
      break;
    case sim::PortRole::DataRead:
      ++census.data_reads;
      break;
    case sim::PortRole::StatusRead:
      ++census.status_reads;
      break;
    case sim::PortRole::ProgressWrite:
      ++census.progress_writes;
      break;
    case sim::PortRole::Other:
      ++census.other;
      break;
    }
  }
  return census;
}

} // namespace ec_run
