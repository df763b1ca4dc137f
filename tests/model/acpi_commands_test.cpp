// SPDX-License-Identifier: BSD-2-Clause-Patent
// The ACPI EC command set as an operating system's EC driver sends it: each
// case is what the host writes and what it must read back, byte by byte, and
// whether the exchange may leave a protocol violation.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "sim/ec_model.h"
#include "sim/ec_protocol.h"

namespace {

enum class Op { Cmd, Data, Read, BurstShown, Reset };
struct Step {
  Op op;
  uint8_t byte = 0; // written, or expected (Read); BurstShown: 1 if the status shows it
};
struct Case {
  const char* name;
  std::vector<Step> steps;
  size_t violations = 0;
};

constexpr uint8_t kAddress = 0x93;
constexpr uint8_t kHeld = 0x7F;
constexpr uint8_t kWritten = 0xC4;

const Case kCases[] = {
    {"read answers the register",
     {{Op::Cmd, sim::kAcpiRead}, {Op::Data, kAddress}, {Op::Read, kHeld}}},
    {"write, then read the value written",
     {{Op::Cmd, sim::kAcpiWrite},
      {Op::Data, kAddress},
      {Op::Data, kWritten},
      {Op::Cmd, sim::kAcpiRead},
      {Op::Data, kAddress},
      {Op::Read, kWritten}}},
    {"burst on is acknowledged and shown until burst off",
     {{Op::Cmd, sim::kAcpiBurstEnable},
      {Op::Read, sim::kAcpiBurstAck},
      {Op::BurstShown, 1},
      {Op::Cmd, sim::kAcpiRead},
      {Op::Data, kAddress},
      {Op::Read, kHeld},
      {Op::BurstShown, 1},
      {Op::Cmd, sim::kAcpiBurstDisable},
      {Op::BurstShown, 0}}},
    {"the platform reset ends burst mode",
     {{Op::Cmd, sim::kAcpiBurstEnable},
      {Op::Read, sim::kAcpiBurstAck},
      {Op::Reset},
      {Op::BurstShown, 0}}},
    {"query with no event pending answers 0",
     {{Op::Cmd, sim::kAcpiQuery}, {Op::Read, sim::kAcpiNoEvent}}},
    {"a command between a write's address and its value",
     {{Op::Cmd, sim::kAcpiWrite},
      {Op::Data, kAddress},
      {Op::Cmd, sim::kAcpiRead},
      {Op::Data, kAddress},
      {Op::Read, kHeld}},
     1},
};

class AcpiCommands : public testing::TestWithParam<Case> {};

TEST_P(AcpiCommands, AnswersAsTheHostExpects) {
  sim::SpiFlash flash;
  sim::EcConfig config;
  config.registers[kAddress] = kHeld;
  sim::EcModel ec(config, flash);
  for (const Step& step : GetParam().steps) {
    switch (step.op) {
    case Op::Cmd:
      ec.WriteCommand(step.byte);
      break;
    case Op::Data:
      ec.WriteData(step.byte);
      break;
    case Op::Read:
      ASSERT_TRUE(ec.ReadStatus() & sim::kStatusObf);
      EXPECT_EQ(ec.ReadData(), step.byte);
      break;
    case Op::BurstShown:
      EXPECT_EQ((ec.ReadStatus() & sim::kStatusBurst) != 0, step.byte != 0);
      break;
    case Op::Reset:
      ec.PlatformReset();
      break;
    }
  }
  EXPECT_EQ(ec.violations().size(), GetParam().violations);
}

INSTANTIATE_TEST_SUITE_P(Model, AcpiCommands, testing::ValuesIn(kCases), [](const auto& info) {
  std::string name = info.param.name;
  for (char& ch : name) {
    ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  }
  return name;
});

} // namespace
