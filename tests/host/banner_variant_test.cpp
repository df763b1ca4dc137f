// SPDX-License-Identifier: BSD-2-Clause-Patent
// The banner of an updater built with other version bytes: two upper-case
// hexadecimal digits per field, zero-filled, the middle field fixed at 0A.
#include <gtest/gtest.h>

#include "sim/driver_globals.h"
#include "sim/fake_firmware.h"
#include "sim/native_firmware.h"
#include "updater/updater.h"

namespace {

TEST(Banner, ShowsTheBuildTimeVersionBytes) {
  sim::FakeFirmware firmware;
  sim::NativeFirmware native(firmware);
  sim::BindDriverGlobals(native.system_table());
  firmware.QueueKey({0, u'q'});

  EXPECT_EQ(updater::UpdatePrompt(), updater::PromptAnswer::Skip);
  ASSERT_FALSE(firmware.console().empty());
  EXPECT_EQ(firmware.console()[0].row, 10u);
  EXPECT_EQ(firmware.console()[0].text, EXPECTED_BANNER);
}

} // namespace
