// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/port_census.h"

#include <vector>

#include "sim/expectation.h"
#include "sim/platform.h"
#include "sim/protocol_trace.h"

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

PortKind KindOf(const sim::PortAccess& access) {
  const bool in = access.dir == sim::PortDir::In;
  switch (access.port) {
  case sim::kEcCommandPort:
    return in ? PortKind::StatusRead : PortKind::CommandWrite;
  case sim::kEcDataPort:
    return in ? PortKind::DataRead : PortKind::DataWrite;
  case sim::kPostCodePort:
    return in ? PortKind::Other : PortKind::ProgressWrite;
  default:
    return PortKind::Other;
  }
}

const char* KindName(const sim::PortAccess& access) {
  switch (KindOf(access)) {
  case PortKind::CommandWrite:
    return "command write";
  case PortKind::DataWrite:
    return "data write";
  case PortKind::DataRead:
    return "data read";
  case PortKind::StatusRead:
    return "status read";
  case PortKind::ProgressWrite:
    return "progress write";
  case PortKind::Other:
    break;
  }
  return "other";
}

PortCensus CountPorts(const sim::PortLog& log) {
  PortCensus census;
  for (const sim::PortAccess& access : log) {
    switch (KindOf(access)) {
    case PortKind::CommandWrite:
      ++census.command_writes;
      break;
    case PortKind::DataWrite:
      ++census.data_writes;
      break;
    case PortKind::DataRead:
      ++census.data_reads;
      break;
    case PortKind::StatusRead:
      ++census.status_reads;
      break;
    case PortKind::ProgressWrite:
      ++census.progress_writes;
      break;
    case PortKind::Other:
      ++census.other;
      break;
    }
  }
  return census;
}

} // namespace ec_run
