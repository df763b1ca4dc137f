#include "sim/native_runner.h"

#include "common/setup_data.h"
#include "guard/guard.h"
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
  // A freshly loaded image has zeroed globals.
  updater::SystemTable = nullptr;
  updater::BootServices = nullptr;
  updater::RuntimeServices = nullptr;
  return UpdaterEntry(nullptr, native_.system_table());
}

EFI_STATUS NativeMachine::LoadGuard() {
  return GuardEntry(nullptr, native_.system_table());
}

void NativeMachine::InstallTrigger() {
  native_.InstallProtocol(UpdateTriggerProtocolGuid);
}

} // namespace sim
