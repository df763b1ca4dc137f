// SPDX-License-Identifier: BSD-2-Clause-Patent
// Real EFI tables in host memory whose slots call a FakeFirmware, so the
// host-built drivers run exactly as under firmware. Every slot the drivers
// have no business calling throws UnexpectedCall naming it.
#pragma once

#include <memory>
#include <stdexcept>

#include "efi/efi_system_table.h"
#include "sim/fake_firmware.h"

namespace sim {

struct UnexpectedCall : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class NativeFirmware {
public:
  explicit NativeFirmware(FakeFirmware& firmware);
  ~NativeFirmware();
  NativeFirmware(const NativeFirmware&) = delete;
  NativeFirmware& operator=(const NativeFirmware&) = delete;

  EFI_SYSTEM_TABLE* system_table() { return &system_table_; }
  // Installs a protocol and runs the notify routines that fall due.
  void InstallProtocol(const EFI_GUID& protocol);

private:
  FakeFirmware& firmware_;
  EFI_SYSTEM_TABLE system_table_{};
  EFI_BOOT_SERVICES boot_services_{};
  EFI_RUNTIME_SERVICES runtime_services_{};
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL con_out_{};
  EFI_SIMPLE_TEXT_INPUT_PROTOCOL con_in_{};
};

} // namespace sim
