// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/native_runner.h"

#include "common/setup_data.h"
#include "guard/guard.h"
#include "sim/driver_globals.h"
#include "updater/updater.h"

namespace sim {

NativeMachine::NativeMachine(PlatformConfig config)
    : platform_(std::move(config)), native_(firmware_) {
  SetActivePlatform(&platform_);
}

NativeMachine::~NativeMachine() {
  if (ActivePlatform() == &platform_) {
    SetActivePlatform(nullptr);
  }
}

EFI_STATUS NativeMachine::LoadUpdater() {
  BindDriverGlobals(nullptr); // a freshly loaded image
  return UpdaterEntry(nullptr, native_.system_table());
}

EFI_STATUS NativeMachine::LoadGuard() {
  return GuardEntry(nullptr, native_.system_table());
}

void NativeMachine::InstallTrigger() {
  native_.InstallProtocol(UpdateTriggerProtocolGuid);
}

RunRecord RunNative(const Scenario& scenario) {
  NativeMachine machine(scenario.platform);
  PrepareFirmware(scenario, machine.firmware());
  EFI_STATUS status = EFI_SUCCESS;
  std::string stopped;
  try {
    if (scenario.driver == Driver::Updater) {
      status = machine.LoadUpdater();
      for (int i = 0; i < scenario.trigger_installs; ++i) {
        machine.InstallTrigger();
      }
    } else {
      status = machine.LoadGuard();
    }
  } catch (const std::exception& e) {
    stopped = e.what();
  }
  RunRecord run = Record(machine.platform(), machine.firmware());
  run.entry_status = status;
  run.stopped = stopped;
  return run;
}

} // namespace sim
