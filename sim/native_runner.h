// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs the host-built drivers on a simulated platform with the fake firmware:
// the same calls the firmware would make, in the same order.
#pragma once

#include <memory>

#include "sim/expectation.h"
#include "sim/fake_firmware.h"
#include "sim/native_firmware.h"
#include "sim/platform.h"
#include "sim/run_record.h"

namespace sim {

class NativeMachine {
public:
  explicit NativeMachine(PlatformConfig config = {});
  ~NativeMachine();
  NativeMachine(const NativeMachine&) = delete;
  NativeMachine& operator=(const NativeMachine&) = delete;

  // Loads the updater as a fresh image (its globals start empty).
  EFI_STATUS LoadUpdater();
  EFI_STATUS LoadGuard();
  // Another component installs the update trigger protocol.
  void InstallTrigger();

  EFI_SYSTEM_TABLE* system_table() { return native_.system_table(); }
  Platform& platform() { return platform_; }
  FakeFirmware& firmware() { return firmware_; }

private:
  Platform platform_;
  FakeFirmware firmware_;
  NativeFirmware native_;
};

// Sets up a machine as the scenario says, runs the driver on it and records
// everything the checks look at.
RunRecord RunNative(const Scenario& scenario);

} // namespace sim
