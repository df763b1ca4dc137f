// SPDX-License-Identifier: BSD-2-Clause-Patent
// The platform reset as the EC on standby power sees it: whatever the host
// was in the middle of, the host interface comes back idle and out of
// pass-through mode, the flash transaction is dropped with the write latch,
// and the registers, the guard threshold and the flash contents stay.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "sim/platform.h"
#include "sim/scenario.h"

namespace {

using sim::Platform;

constexpr uint8_t kRegisterValue = 0x5A;
constexpr uint8_t kThreshold = 0x77;

void Cmd(Platform& p, uint8_t c) {
  p.PortWrite(sim::kEcCommandPort, c);
}
void Data(Platform& p, uint8_t d) {
  p.PortWrite(sim::kEcDataPort, d);
}
void EnterPassThrough(Platform& p) {
  Cmd(p, sim::kPtEnter);
  ASSERT_EQ(p.PortRead(sim::kEcDataPort), sim::kPtReady);
}
void FlashCommand(Platform& p, std::vector<uint8_t> bytes) {
  Cmd(p, sim::kPtSelect);
  Cmd(p, sim::kPtSendCommand);
  Cmd(p, bytes[0]);
  for (size_t i = 1; i < bytes.size(); ++i) {
    Cmd(p, sim::kPtSendData);
    Cmd(p, bytes[i]);
  }
}
uint8_t FlashStatus(Platform& p) {
  FlashCommand(p, {sim::kFlashReadStatus});
  Cmd(p, sim::kPtReadByte);
  const uint8_t status = p.PortRead(sim::kEcDataPort);
  Cmd(p, sim::kPtDeselect);
  return status;
}
void WriteEnable(Platform& p) {
  FlashCommand(p, {sim::kFlashWriteEnable});
  Cmd(p, sim::kPtDeselect);
}

struct ResetCase {
  const char* name;
  std::function<void(Platform&)> cut; // what the host is in the middle of
  unsigned ibf_busy_reads = 0;
};

const ResetCase kCases[] = {
    {"erase sent, not yet deselected",
     [](Platform& p) {
       EnterPassThrough(p);
       WriteEnable(p);
       FlashCommand(p, {sim::kFlashErase1K, 0x00, 0x04, 0x00});
     }},
    {"word program sent, not yet deselected",
     [](Platform& p) {
       EnterPassThrough(p);
       WriteEnable(p);
       FlashCommand(p, {sim::kFlashWordProgram, 0x00, 0x00, 0x10, 0x00, 0x00});
     }},
    {"flash reply waiting",
     [](Platform& p) {
       EnterPassThrough(p);
       FlashCommand(p, {sim::kFlashReadId});
       Cmd(p, sim::kPtReadByte);
     }},
    {"pass-through opcode half sent",
     [](Platform& p) {
       EnterPassThrough(p);
       Cmd(p, sim::kPtSelect);
       Cmd(p, sim::kPtSendCommand);
     }},
    {"register read without its address", [](Platform& p) { Cmd(p, sim::kAcpiRead); }},
    {"byte not yet taken", [](Platform& p) { Cmd(p, sim::kGuardThreshold); }, 50},
};

TEST(PlatformReset, RestartsTheHostInterfaceOnly) {
  for (const ResetCase& c : kCases) {
    sim::PlatformConfig config;
    config.flash_before = sim::RandomImage(7);
    config.ec.registers[sim::kGuardRegister] = kRegisterValue;
    config.ec.ibf_busy_reads = c.ibf_busy_reads;
    Platform p(config);
    if (c.ibf_busy_reads == 0) {
      Cmd(p, sim::kGuardThreshold);
      Data(p, kThreshold);
    }
    c.cut(p);
    p.PlatformReset();

    EXPECT_EQ(p.PortRead(sim::kEcCommandPort), 0x00) << c.name << ": IBF and OBF clear";
    EXPECT_FALSE(p.ec().in_pass_through()) << c.name;
    EXPECT_EQ(p.ec().guard_threshold(), c.ibf_busy_reads == 0 ? kThreshold : -1) << c.name;
    EXPECT_EQ(p.platform_resets(), 1u) << c.name;
    if (c.ibf_busy_reads != 0) {
      continue; // a busy EC: the reset's part ends with the clear status
    }
    // A command cut short is not completed by the next byte.
    Data(p, sim::kGuardRegister);
    EXPECT_EQ(p.ec().violations().size(), 1u) << c.name << ": data byte after the reset";
    Cmd(p, sim::kAcpiRead);
    Data(p, sim::kGuardRegister);
    EXPECT_EQ(p.PortRead(sim::kEcDataPort), kRegisterValue) << c.name;
    EnterPassThrough(p);
    EXPECT_EQ(FlashStatus(p), 0x00) << c.name << ": write latch clear";
    EXPECT_EQ(p.flash().counters().erases + p.flash().counters().word_programs, 0u) << c.name;
    EXPECT_EQ(p.flash().memory(), config.flash_before) << c.name;
    EXPECT_TRUE(p.flash().violations().empty()) << c.name << ": " << p.flash().violations()[0];
  }
}

// The EC's own start-up after power-on is not the host interface's.
TEST(PlatformReset, LeavesTheStartUpAfterPowerOnAlone) {
  sim::PlatformConfig config;
  config.ec.busy_at_start_reads = 3;
  Platform p(config);
  EXPECT_EQ(p.PortRead(sim::kEcCommandPort), sim::kStatusIbf);
  p.PlatformReset();
  EXPECT_EQ(p.PortRead(sim::kEcCommandPort), sim::kStatusIbf);
  EXPECT_EQ(p.PortRead(sim::kEcCommandPort), sim::kStatusIbf);
  EXPECT_EQ(p.PortRead(sim::kEcCommandPort), 0x00);
}

} // namespace
