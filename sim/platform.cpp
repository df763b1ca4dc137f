// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/platform.h"

#include "sim/hex_text.h"

namespace sim {

namespace {
Platform* g_active = nullptr;

} // namespace

std::string Describe(const PortAccess& access) {
  char text[32];
  std::snprintf(text, sizeof text, "%s %03X %02X", access.dir == PortDir::In ? "in " : "out",
                access.port, access.value);
  return text;
}

Platform::Platform(PlatformConfig config)
    : config_(std::move(config)), flash_(config_.flash), ec_(config_.ec, flash_) {
  if (config_.ec_image.size() != kEcImageSize) {
    throw std::invalid_argument("EC image must be exactly 128 KiB");
  }
  if (!config_.flash_before.empty()) {
    if (config_.flash_before.size() != kFlashSize) {
      throw std::invalid_argument("EC flash contents must be exactly 128 KiB");
    }
    flash_.memory() = config_.flash_before;
  }
}

void Platform::Count() {
  ++accesses_;
  if (config_.access_limit != 0 && accesses_ > config_.access_limit) {
    throw PlatformStop("port access limit of " + std::to_string(config_.access_limit) + " reached");
  }
}

uint8_t Platform::PortRead(uint16_t port) {
  Count();
  uint8_t value;
  switch (port) {
  case kEcCommandPort:
    value = ec_.ReadStatus();
    break;
  case kEcDataPort:
    value = ec_.ReadData();
    break;
  default:
    throw PlatformStop("read from unexpected port " + Hex(port));
  }
  if (logging_) {
    log_.push_back(In(port, value));
  }
  return value;
}

void Platform::PortWrite(uint16_t port, uint8_t value) {
  Count();
  if (logging_) {
    log_.push_back(Out(port, value));
  }
  switch (port) {
  case kEcCommandPort:
    ec_.WriteCommand(value);
    break;
  case kEcDataPort:
    ec_.WriteData(value);
    break;
  case kPostCodePort:
    break;
  case kResetControlPort:
    reset_requested_ = reset_requested_ || value == kResetFull;
    break;
  default:
    throw PlatformStop("write to unexpected port " + Hex(port));
  }
}

void Platform::PlatformReset() {
  ++platform_resets_;
  ec_.PlatformReset();
}

uint8_t Platform::BootFlashRead(uint64_t address) const {
  const uint64_t base = ec_image_base();
  if (address < base || address - base >= kEcImageSize) {
    throw PlatformStop("boot-flash read outside the EC image window");
  }
  return config_.ec_image[address - base];
}

std::vector<std::string> Platform::violations() const {
  std::vector<std::string> all = ec_.violations();
  all.insert(all.end(), flash_.violations().begin(), flash_.violations().end());
  return all;
}

void SetActivePlatform(Platform* platform) {
  g_active = platform;
}
Platform* ActivePlatform() {
  return g_active;
}

} // namespace sim
