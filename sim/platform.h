// SPDX-License-Identifier: BSD-2-Clause-Patent
// The simulated machine the drivers run on: the EC and its flash behind ports
// 0x62/0x66, the progress port 0x80, the reset control port 0xCF9 and the
// memory-mapped boot flash holding the EC image. Every port access is logged.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/ec_model.h"
#include "sim/ec_protocol.h"
#include "sim/image_settings.h"
#include "sim/port_log.h"
#include "sim/spi_flash.h"

namespace sim {

// Thrown out of a port access when the platform stops the run: an access
// budget spent (a driver spinning on a bit that never changes) or a port the
// platform does not have.
struct PlatformStop : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct PlatformConfig {
  EcConfig ec;
  FlashConfig flash;
  std::vector<uint8_t> ec_image = std::vector<uint8_t>(kEcImageSize, kFlashErased);
  std::vector<uint8_t> flash_before; // the EC flash's contents at power-on; empty: erased
  ImageSettings image;               // what the updater image was built with
  uint64_t access_limit = 0;         // 0: no limit
};

class Platform {
public:
  explicit Platform(PlatformConfig config);

  uint8_t PortRead(uint16_t port);
  void PortWrite(uint16_t port, uint8_t value);
  uint8_t BootFlashRead(uint64_t address) const;
  // PLTRST#: the EC, on standby power, restarts its host interface only (see
  // EcModel::PlatformReset); the flash keeps its contents.
  void PlatformReset();
  [[nodiscard]] uint64_t platform_resets() const { return platform_resets_; }

  [[nodiscard]] const PortLog& log() const { return log_; }
  PortLog& log() { return log_; }
  void set_logging(bool on) { logging_ = on; }
  [[nodiscard]] uint64_t access_count() const { return accesses_; }
  [[nodiscard]] bool reset_requested() const { return reset_requested_; }
  EcModel& ec() { return ec_; }
  [[nodiscard]] const EcModel& ec() const { return ec_; }
  SpiFlash& flash() { return flash_; }
  [[nodiscard]] const SpiFlash& flash() const { return flash_; }
  [[nodiscard]] const std::vector<uint8_t>& ec_image() const { return config_.ec_image; }
  [[nodiscard]] uint64_t ec_image_base() const { return config_.image.ec_image_base; }
  [[nodiscard]] std::vector<std::string> violations() const;

private:
  void Count();

  PlatformConfig config_;
  SpiFlash flash_;
  EcModel ec_;
  PortLog log_;
  bool logging_ = true;
  uint64_t accesses_ = 0;
  bool reset_requested_ = false;
  uint64_t platform_resets_ = 0;
};

// The platform the host-built drivers' port and boot-flash accesses go to.
void SetActivePlatform(Platform* platform);
Platform* ActivePlatform();

} // namespace sim
