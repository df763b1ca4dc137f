// SPDX-License-Identifier: BSD-2-Clause-Patent
// The ACPI EC handshake primitives against the EC model: how many status
// reads and progress writes each wait makes, and when each wait ends. The
// exchanges are spelled out in literal bytes on purpose, as a bus analyser
// would show them, sharing no name with the simulator's protocol home.
#include <gtest/gtest.h>

#include "ec/ec_host.h"
#include "sim/platform.h"

namespace {

using sim::In;
using sim::Out;

struct ActivePlatform {
  explicit ActivePlatform(sim::PlatformConfig config = {}) : platform(std::move(config)) {
    sim::SetActivePlatform(&platform);
  }
  ~ActivePlatform() { sim::SetActivePlatform(nullptr); }
  sim::Platform platform;
};

TEST(EcHost, IdleEcStillGetsOneStatusReadBeforeEachByte) {
  ActivePlatform p;
  EcWriteCommand(0x80);
  EcWriteData(0x93);
  const sim::PortLog expected = {In(0x66, 0x00), Out(0x80, 0xEB), Out(0x66, 0x80),
                                 In(0x66, 0x00), Out(0x80, 0xEB), Out(0x62, 0x93)};
  EXPECT_EQ(p.platform.log(), expected);
}

TEST(EcHost, WaitingReplyIsReadAfterExactlyOneStatusRead) {
  sim::PlatformConfig config;
  config.ec.registers[0x93] = 0x5A;
  ActivePlatform p(config);
  EcWriteCommand(0x80);
  EcWriteData(0x93);
  p.platform.log().clear();
  EXPECT_EQ(EcReadData(), 0x5A);
  const sim::PortLog expected = {In(0x66, 0x01), Out(0x80, 0xEC), In(0x62, 0x5A)};
  EXPECT_EQ(p.platform.log(), expected);
}

// IBF held for N reads costs N extra status reads, each followed by its own
// progress code; OBF delayed likewise for replies.
TEST(EcHost, WaitsSpinWhileTheEcHoldsTheBit) {
  for (unsigned busy : {1u, 2u, 17u}) {
    sim::PlatformConfig config;
    config.ec.ibf_busy_reads = busy;
    config.ec.obf_delay_reads = busy;
    config.ec.registers[0x93] = 0x11;
    ActivePlatform p(config);
    EcWriteCommand(0x80);
    p.platform.log().clear();
    EcWriteData(0x93);
    ASSERT_EQ(p.platform.log().size(), 2 * (busy + 1) + 1);
    for (unsigned i = 0; i < busy; ++i) {
      EXPECT_EQ(p.platform.log()[2 * i], In(0x66, 0x02));
      EXPECT_EQ(p.platform.log()[2 * i + 1], Out(0x80, 0xEB));
    }
    p.platform.log().clear();
    EXPECT_EQ(EcReadData(), 0x11);
    // The IBF from the data byte and the reply's delay overlap.
    EXPECT_EQ(p.platform.log().back(), In(0x62, 0x11));
    EXPECT_EQ(p.platform.log().size(), 2 * (busy + 1) + 1);
    EXPECT_TRUE(p.platform.violations().empty());
  }
}

// Status with both bits set: the input wait keeps going, the output wait ends.
TEST(EcHost, BothBitsSet) {
  sim::PlatformConfig config;
  config.ec.ibf_busy_reads = 3;
  config.ec.registers[0x93] = 0x42;
  ActivePlatform p(config);
  EcWriteCommand(0x80);
  EcWriteData(0x93); // the reply is queued while IBF still shows
  p.platform.log().clear();
  EcWaitInputEmpty();
  const sim::PortLog input_wait = {In(0x66, 0x03),  Out(0x80, 0xEB), In(0x66, 0x03),
                                   Out(0x80, 0xEB), In(0x66, 0x03),  Out(0x80, 0xEB),
                                   In(0x66, 0x01),  Out(0x80, 0xEB)};
  EXPECT_EQ(p.platform.log(), input_wait);

  sim::PlatformConfig again = config;
  ActivePlatform q(again);
  EcWriteCommand(0x80);
  EcWriteData(0x93);
  q.platform.log().clear();
  EcWaitOutputFull();
  const sim::PortLog output_wait = {In(0x66, 0x03), Out(0x80, 0xEC)};
  EXPECT_EQ(q.platform.log(), output_wait);
}

} // namespace
