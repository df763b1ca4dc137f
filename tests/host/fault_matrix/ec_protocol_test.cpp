// SPDX-License-Identifier: BSD-2-Clause-Patent
// Bringing up the EC and its flash: the EC's answer to the handshake and the
// flash identification bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "sim/hex_text.h"
#include "tests/host/fault_matrix/fault_matrix.h"

namespace fault_matrix {
namespace {

using fault_matrix::PrintTo; // found by gtest through the parameter types
using sim::Out;

// ---------------------------------------------------------------------------
// The EC's answer to 0xDC: 0x33 as reply 1..10, as reply 11 (past the
// bound) or never, after various other replies.

struct HandshakeCase {
  std::string name;
  int ready_at; // the reply that is 0x33; 0: never
};

class Handshake : public testing::TestWithParam<HandshakeCase> {};

// Replies other than the ready one, spelled out on purpose.
constexpr uint8_t kNotReady[] = {0x00, 0xFF, 0x32, 0x34, 0xCC, 0x03};

// A handshake that succeeds goes on to programming. The first and the tenth
// reply run the whole update; the others stop at a verify fault in block 0,
// which is enough to show the pass went ahead.
TEST_P(Handshake, ReadyWithinTenRepliesOrInitFailure) {
  const int ready_at = GetParam().ready_at;
  const bool bounded = ready_at >= 1 && ready_at <= sim::kHandshakeReplies;
  const bool whole = ready_at == 1 || ready_at == sim::kHandshakeReplies;
  std::vector<uint8_t> others(std::begin(kNotReady), std::end(kNotReady));
  if (bounded) {
    others = {kNotReady[ready_at % std::size(kNotReady)]};
  }
  for (uint8_t other : others) {
    sim::Scenario s = Update(GetParam().name + ", others " + sim::HexByte(other));
    s.platform.ec.replies_before_ready = ready_at == 0 ? -1 : ready_at - 1;
    s.platform.ec.not_ready_reply = other;
    if (bounded && !whole) {
      Arrange(s, Outcome::VerifyFails);
    }
    const Case c = RunCase(s);
    EXPECT_EQ(c.expected.ending, !bounded ? sim::Ending::InitFailed
                                 : whole  ? sim::Ending::Updated
                                          : sim::Ending::UpdateFailed);
    // Replies are read one at a time, never more than ten, before the first
    // flash transaction (or the leave command of the init failure).
    size_t replies = 0;
    for (size_t i = 0;
         i < c.run.log.size() && c.run.log[i] != Out(sim::kEcCommandPort, sim::kPtSelect) &&
         c.run.log[i] != Out(sim::kEcCommandPort, sim::kPtLeave);
         ++i) {
      replies += IsEcRead(c.run.log[i]) ? 1 : 0;
    }
    EXPECT_EQ(replies, static_cast<size_t>(bounded ? ready_at : sim::kHandshakeReplies)) << s.name;
  }
}

std::vector<HandshakeCase> HandshakeCases() {
  std::vector<HandshakeCase> cases;
  for (int at = 1; at <= 10; ++at) {
    cases.push_back({"0x33 as reply " + std::to_string(at), at});
  }
  cases.push_back({"0x33 as reply 11", 11});
  cases.push_back({"no 0x33", 0});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Matrix, Handshake, testing::ValuesIn(HandshakeCases()),
                         ParamName<HandshakeCase>);

// ---------------------------------------------------------------------------
// Flash identification: every wrong value in each of the four positions.

class Identification : public testing::TestWithParam<int> {};

TEST_P(Identification, EveryWrongByteFailsInit) {
  const int position = GetParam();
  const std::array<uint8_t, 4> good = sim::kFlashExpectedId;
  int wrong = 0;
  for (int value = 0; value < 256; ++value) {
    if (value == good[position]) {
      continue;
    }
    sim::Scenario s = Update("id byte " + std::to_string(position) + " = " + sim::HexByte(value));
    s.platform.flash.id = good;
    s.platform.flash.id[position] = static_cast<uint8_t>(value);
    const Case c = RunCase(s);
    EXPECT_EQ(c.expected.ending, sim::Ending::InitFailed);
    ++wrong;
  }
  EXPECT_EQ(wrong, 255);
}

INSTANTIATE_TEST_SUITE_P(Matrix, Identification, testing::Range(0, 4),
                         [](const testing::TestParamInfo<int>& info) {
                           return "position_" + std::to_string(info.param);
                         });

TEST(IdentificationOrder, RightBytesInAnyOtherOrderFail) {
  // Wrong identifications, spelled out on purpose.
  const std::vector<std::array<uint8_t, 4>> ids = {{0xFF, 0xFF, 0xFF, 0xFE},
                                                   {0xFE, 0xFF, 0xFF, 0xFF},
                                                   {0xFF, 0xFE, 0xFF, 0xFF},
                                                   {0xFF, 0xFF, 0xFF, 0xFF},
                                                   {0x00, 0x00, 0x00, 0x00}};
  for (const auto& id : ids) {
    sim::Scenario s = Update("id " + sim::HexByte(id[0]) + " " + sim::HexByte(id[1]) + " " +
                             sim::HexByte(id[2]) + " " + sim::HexByte(id[3]));
    s.platform.flash.id = id;
    EXPECT_EQ(RunCase(s).expected.ending, sim::Ending::InitFailed);
  }
}

} // namespace
} // namespace fault_matrix
