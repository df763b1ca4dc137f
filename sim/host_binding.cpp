// SPDX-License-Identifier: BSD-2-Clause-Patent
// Binds the drivers' platform seam to the active simulated platform in the
// host build.
#include "platform/platform_io.h"
#include "sim/platform.h"

namespace {
sim::Platform& Active() {
  sim::Platform* platform = sim::ActivePlatform();
  if (platform == nullptr) {
    throw sim::PlatformStop("port access with no simulated platform active");
  }
  return *platform;
}
} // namespace

namespace platform {
UINT8 PortRead8(UINT16 Port) {
  return Active().PortRead(Port);
}
void PortWrite8(UINT16 Port, UINT8 Value) {
  Active().PortWrite(Port, Value);
}
UINT8 BootFlashRead8(UINTN Address) {
  return Active().BootFlashRead(Address);
}
} // namespace platform
