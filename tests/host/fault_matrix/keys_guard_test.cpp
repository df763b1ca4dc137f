// SPDX-License-Identifier: BSD-2-Clause-Patent
// Keys during the update's five-second prompt, and the guard's enable byte.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "sim/hex_text.h"
#include "tests/host/fault_matrix/fault_matrix.h"

namespace fault_matrix {
namespace {

using fault_matrix::PrintTo; // found by gtest through the parameter types

// The prompt looks for a key every 100 ms, fifty times in its five seconds.
constexpr uint64_t kPollUs = 100000;

// ---------------------------------------------------------------------------
// Keys during the five-second prompt.

struct KeyCase {
  std::string name;
  std::vector<sim::KeyStroke> keys;
  int skip_poll;          // the poll (1..50) that takes the Q; 0: the update goes ahead
  bool healthy_ec = true; // a proceed runs the whole update; else it ends at the handshake
};

// Keys other than Q: letters, Enter, Escape, a digit, characters whose low
// byte or shape is q's, and a cursor key (no character, a scan code).
std::vector<sim::KeyStroke> Others(size_t count, uint64_t at_us = 0) {
  const char16_t kinds[] = {u'a', u'\r', u'x', 0x1B, u'1', u'w', 0x0171, 0xFF51, u'k', 0};
  std::vector<sim::KeyStroke> keys;
  for (size_t i = 0; i < count; ++i) {
    const char16_t c = kinds[i % std::size(kinds)];
    keys.push_back({at_us, c, static_cast<uint16_t>(c == 0 ? 0x01 : 0)});
  }
  return keys;
}

std::vector<sim::KeyStroke> Then(std::vector<sim::KeyStroke> keys, sim::KeyStroke last) {
  keys.push_back(last);
  return keys;
}

std::vector<KeyCase> KeyCases() {
  return {
      {"q queued before the prompt", {{0, u'q'}}, 1},
      {"Q queued before the prompt", {{0, u'Q'}}, 1},
      {"q at the first poll", {{kPollUs, u'q'}}, 1},
      {"Q at the first poll", {{kPollUs, u'Q'}}, 1},
      {"q between polls 2 and 3", {{250000, u'q'}}, 3},
      {"q at the 50th poll", {{50 * kPollUs, u'q'}}, 50},
      {"Q at the 50th poll", {{50 * kPollUs, u'Q'}}, 50},
      {"q 1 us after the 50th poll", {{50 * kPollUs + 1, u'q'}}, 0},
      {"q at 5 s plus one poll", {{51 * kPollUs, u'q'}}, 0},
      {"Q at 5 s plus one poll", {{51 * kPollUs, u'Q'}}, 0, false},
      {"q with a scan code", {{0, u'q', 0x17}}, 1},
      {"1 other key then q", Then(Others(1), {0, u'q'}), 2},
      {"10 other keys then Q", Then(Others(10), {0, u'Q'}), 11},
      {"49 other keys then q", Then(Others(49), {0, u'q'}), 50},
      {"50 other keys then q", Then(Others(50), {0, u'q'}), 0, false},
      {"80 other keys then Q", Then(Others(80), {0, u'Q'}), 0, false},
      {"80 other keys", Others(80), 0, false},
      {"other key and q both at the 50th poll", Then(Others(1, 50 * kPollUs), {50 * kPollUs, u'q'}),
       0, false},
      {"look-alikes of q", {{0, 0x0171}, {0, 0xFF51}, {0, 0x0151}, {0, u'Q' | 0x100}}, 0, false},
      {"no key", {}, 0},
  };
}

class Keys : public testing::TestWithParam<KeyCase> {};

TEST_P(Keys, SkipOnlyOnQWithinFiftyPolls) {
  const KeyCase& k = GetParam();
  sim::Scenario s = Update(k.name);
  s.keys = k.keys;
  if (!k.healthy_ec) {
    s.platform.ec.replies_before_ready = -1;
  }
  const Case c = RunCase(s);
  const sim::Ending want = k.skip_poll != 0 ? sim::Ending::Skipped
                           : k.healthy_ec   ? sim::Ending::Updated
                                            : sim::Ending::InitFailed;
  EXPECT_EQ(c.expected.ending, want) << k.name;
  if (k.skip_poll != 0) {
    EXPECT_EQ(c.run.virtual_us, static_cast<uint64_t>(k.skip_poll) * kPollUs + 2000000) << k.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Matrix, Keys, testing::ValuesIn(KeyCases()), ParamName<KeyCase>);

// ---------------------------------------------------------------------------
// The guard's enable byte: zero is off, any other value on.

class GuardEnable : public testing::TestWithParam<int> {};

TEST_P(GuardEnable, AnyNonZeroValueRunsTheCheck) {
  const auto enable = static_cast<uint8_t>(GetParam());
  const std::pair<uint8_t, uint8_t> pairs[] = {{0x80, 0x7F}, {0x80, 0x80}, {0x00, 0x00},
                                               {0xFF, 0xFE}, {0x01, 0x00}, {0x7F, 0xFF}};
  for (const auto& [threshold, reading] : pairs) {
    const Case c = RunCase(Guard("enable " + sim::HexByte(enable) + ", threshold " +
                                     sim::HexByte(threshold) + ", reading " + sim::HexByte(reading),
                                 enable, threshold, reading));
    const sim::Ending want = enable == 0           ? sim::Ending::GuardNotRun
                             : reading < threshold ? sim::Ending::GuardPoweredOff
                                                   : sim::Ending::GuardPassed;
    EXPECT_EQ(c.expected.ending, want);
  }
}

INSTANTIATE_TEST_SUITE_P(Matrix, GuardEnable, testing::Values(0x00, 0x01, 0x80, 0xFF),
                         [](const testing::TestParamInfo<int>& info) {
                           return "enable_" + HexDigits(static_cast<unsigned>(info.param));
                         });

} // namespace
} // namespace fault_matrix
