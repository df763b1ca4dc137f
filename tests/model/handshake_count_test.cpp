// SPDX-License-Identifier: BSD-2-Clause-Patent
// The EC's count of replies to the pass-through request is what the updater
// read: the data-port reads between its 0xDC and its next command, with an EC
// ready at once, ready on the last reply the updater waits for, and never.
#include <gtest/gtest.h>

#include "sim/native_runner.h"
#include "sim/scenario.h"
#include "sim/traffic_decoder.h"

namespace {

unsigned RepliesRead(const sim::PortLog& log) {
  unsigned replies = 0;
  bool after_request = false;
  for (const sim::PortAccess& a : log) {
    if (sim::RoleOf(a) == sim::PortRole::CommandWrite) {
      after_request = a.value == sim::kPtEnter;
    }
    replies += after_request && sim::IsEcRead(a) ? 1 : 0;
  }
  return replies;
}

TEST(HandshakeCount, CountsTheRepliesTheUpdaterRead) {
  const struct {
    int replies_before_ready;
    unsigned read;
  } cases[] = {
      {0, 1}, {sim::kHandshakeReplies - 1, sim::kHandshakeReplies}, {-1, sim::kHandshakeReplies}};
  for (const auto& c : cases) {
    sim::Scenario s = *sim::FindScenario("update");
    s.platform.ec.replies_before_ready = c.replies_before_ready;
    sim::NativeMachine machine(s.platform);
    sim::PrepareFirmware(s, machine.firmware());
    machine.LoadUpdater();
    machine.InstallTrigger();
    const unsigned in_log = RepliesRead(machine.platform().log());
    EXPECT_EQ(in_log, c.read) << c.replies_before_ready;
    EXPECT_EQ(machine.platform().ec().handshake_replies(), in_log) << c.replies_before_ready;
  }
}

} // namespace
