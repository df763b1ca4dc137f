// SPDX-License-Identifier: BSD-2-Clause-Patent
// The report's count of a full update: each access sorted by its role, and
// the formula it prints checked against the port sequence the simulator
// derives from the protocol description, and the protocol's figure of
// 4,187,200 accesses.
#include <gtest/gtest.h>

#include "sim/expectation.h"
#include "sim/protocol_trace.h"
#include "sim/traffic_decoder.h"
#include "tools/ec_run/port_census.h"

namespace {

using sim::PortRole;

TEST(PortCensus, SortsEachAccessByItsRoleInTheHandshake) {
  const struct {
    sim::PortAccess access;
    PortRole kind;
  } cases[] = {
      // The values are any bytes: only port and direction sort an access.
      {sim::Out(sim::kEcCommandPort, 0x01), PortRole::CommandWrite},
      {sim::In(sim::kEcCommandPort, 0x02), PortRole::StatusRead},
      {sim::Out(sim::kEcDataPort, 0x93), PortRole::DataWrite},
      {sim::In(sim::kEcDataPort, 0x33), PortRole::DataRead},
      {sim::Out(sim::kPostCodePort, 0xEB), PortRole::ProgressWrite},
      {sim::In(sim::kPostCodePort, 0x00), PortRole::Other},
      {sim::Out(sim::kResetControlPort, 0x0E), PortRole::Other},
      {sim::Out(0x61, 0x00), PortRole::Other}, // a port the EC does not have
  };
  ec_run::PortCensus expected;
  sim::PortLog log;
  for (const auto& c : cases) {
    EXPECT_EQ(sim::RoleOf(c.access), c.kind) << sim::Describe(c.access);
    log.push_back(c.access);
  }
  expected.command_writes = 1;
  expected.status_reads = 1;
  expected.data_writes = 1;
  expected.data_reads = 1;
  expected.progress_writes = 1;
  expected.other = 3;
  EXPECT_EQ(ec_run::CountPorts(log), expected);
}

// The report's formula: each EC byte of a full update costs exactly one status
// read and one progress write, nothing goes to the data port, and the reset
// write comes last; 4,187,200 accesses in all.
TEST(PortCensus, FormulaMatchesTheDerivedFullUpdateSequence) {
  const ec_run::PortCensus required = ec_run::RequiredForFullUpdate();
  const ec_run::EcTraffic traffic = ec_run::TrafficOf(required);
  EXPECT_EQ(required.status_reads, traffic.commands + traffic.replies);
  EXPECT_EQ(required.progress_writes, traffic.commands + traffic.replies);
  EXPECT_EQ(required.data_writes, 0u);
  EXPECT_EQ(required.other, 1u);
  EXPECT_EQ(sim::FullUpdateTrace().back(), sim::Out(sim::kResetControlPort, sim::kResetFull));
  EXPECT_EQ(required.total(), 4'187'200u);
}

// The report counts one block of any contents at any address: the block the
// formula takes (erased contents at address 0) costs what the last block of
// another image costs.
TEST(PortCensus, FormulaMatchesOneDerivedBlock) {
  const std::vector<uint8_t> image(sim::kEcBlockSize, 0x5A);
  const std::vector<uint8_t> blank(sim::kEcBlockSize, sim::kFlashErased);
  sim::ProtocolTrace trace;
  trace.Block(sim::kEcImageSize - sim::kEcBlockSize, image.data(), blank, image);
  const ec_run::PortCensus seen = ec_run::CountPorts(trace.log());
  const ec_run::EcTraffic block = ec_run::BlockTraffic();
  EXPECT_EQ(seen.command_writes, block.commands);
  EXPECT_EQ(seen.data_reads, block.replies);
  EXPECT_EQ(seen.status_reads, block.commands + block.replies);
  EXPECT_EQ(seen.progress_writes, block.commands + block.replies);
}

} // namespace
