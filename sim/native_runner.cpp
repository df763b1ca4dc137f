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

void PrepareFirmware(const Scenario& scenario, FakeFirmware& firmware) {
  if (scenario.setup) {
    firmware.PutVariable(u"Setup", SetupVariableGuid,
                         Variable{scenario.setup_attributes, *scenario.setup});
  }
  firmware.get_variable_error = scenario.get_variable_error;
  for (const KeyStroke& key : scenario.keys) {
    firmware.QueueKey(key);
  }
}

RunRecord Record(const Platform& platform, const FakeFirmware& firmware) {
  RunRecord run;
  run.console = firmware.console();
  run.log = platform.log();
  run.accesses = platform.access_count();
  if (const Variable* setup = firmware.FindVariable(u"Setup", SetupVariableGuid)) {
    run.setup_after = *setup;
  }
  run.flash_after = platform.flash().memory();
  run.reset_port_written = platform.reset_requested();
  run.reset_system = firmware.reset();
  run.virtual_us = firmware.now_us();
  run.open_events = firmware.open_events();
  run.violations = platform.violations();
  return run;
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
