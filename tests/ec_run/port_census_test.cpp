// The report's own count of a full update agrees with the port sequence the
// simulator derives from the protocol description, kind by kind, and with the
// protocol's figure of 4,187,200 accesses.
#include <gtest/gtest.h>

#include "sim/expectation.h"
#include "sim/protocol_trace.h"
#include "tools/ec_run/port_census.h"

namespace {

using ec_run::PortKind;

TEST(PortCensus, SortsEachAccessByItsRoleInTheHandshake) {
  const struct {
    sim::PortAccess access;
    PortKind kind;
  } cases[] = {
      {sim::Out(0x66, 0x01), PortKind::CommandWrite},  {sim::In(0x66, 0x02), PortKind::StatusRead},
      {sim::Out(0x62, 0x93), PortKind::DataWrite},     {sim::In(0x62, 0x33), PortKind::DataRead},
      {sim::Out(0x80, 0xEB), PortKind::ProgressWrite}, {sim::In(0x80, 0x00), PortKind::Other},
      {sim::Out(0xCF9, 0x0E), PortKind::Other},        {sim::Out(0x61, 0x00), PortKind::Other},
  };
  ec_run::PortCensus expected;
  sim::PortLog log;
  for (const auto& c : cases) {
    EXPECT_EQ(ec_run::KindOf(c.access), c.kind) << sim::Describe(c.access);
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

TEST(PortCensus, FormulaMatchesTheDerivedFullUpdateSequence) {
  const sim::PortLog trace = sim::Expect(*sim::FindScenario("update")).trace;
  const ec_run::PortCensus required = ec_run::RequiredForFullUpdate();
  EXPECT_EQ(required, ec_run::CountPorts(trace));
  EXPECT_EQ(required.total(), 4'187'200u);
}

TEST(PortCensus, FormulaMatchesOneDerivedBlock) {
  const std::vector<uint8_t> image(0x400, 0x5A);
  const std::vector<uint8_t> blank(0x400, 0xFF);
  sim::ProtocolTrace trace;
  trace.Block(0x1FC00, image.data(), blank, image);
  const ec_run::PortCensus seen = ec_run::CountPorts(trace.log());
  const ec_run::EcTraffic block = ec_run::BlockTraffic();
  EXPECT_EQ(seen.command_writes, block.commands);
  EXPECT_EQ(seen.data_reads, block.replies);
  EXPECT_EQ(seen.status_reads, block.commands + block.replies);
  EXPECT_EQ(seen.progress_writes, block.commands + block.replies);
}

} // namespace
