// SPDX-License-Identifier: BSD-2-Clause-Patent
// The C interface of sim/ec_model_api.h over the simulated platform: one
// sim::Platform per model, its port log off (a whole update would hold
// millions of entries), plus what the C side needs on top: the settings and
// flash files, ports the EC does not decode, and the report. No C++ exception
// crosses this boundary: the caller is C.
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "sim/hex_text.h"
#include "sim/model_files.h"
#include "sim/model_report.h"
#include "sim/model_settings.h"
#include "sim/platform.h"

// Only the interface's functions are exported from the shared library.
#pragma GCC visibility push(default)
#include "sim/ec_model_api.h"
#pragma GCC visibility pop

namespace {

sim::PlatformConfig PlatformOf(const sim::ModelSettings& settings) {
  sim::PlatformConfig config;
  config.ec = settings.ec;
  config.flash = settings.flash;
  if (!settings.flash_file.empty()) {
    config.flash_before = sim::ReadFlashFile(settings.flash_file, settings.flash_file_line);
  }
  return config;
}

void CopyText(const std::string& text, char* out, size_t size) {
  if (out != nullptr && size > 0) {
    std::snprintf(out, size, "%s", text.c_str());
  }
}

} // namespace

struct ec_model {
  explicit ec_model(sim::ModelSettings s) : settings(std::move(s)), platform(PlatformOf(settings)) {
    platform.set_logging(false);
  }

  void Violation(std::string what) noexcept {
    try {
      port_violations.push_back(std::move(what));
    } catch (...) { // out of memory: the count below still shows it
      ++lost_violations;
    }
  }

  void Failure() noexcept {
    try {
      throw;
    } catch (const std::exception& e) {
      Violation(std::string("model failure: ") + e.what());
    } catch (...) {
      Violation("model failure");
    }
  }

  [[nodiscard]] sim::ModelReport Report() const {
    sim::ModelReport r;
    r.violations = platform.violations();
    r.violations.insert(r.violations.end(), port_violations.begin(), port_violations.end());
    r.violations.resize(r.violations.size() + lost_violations, "a breach not recorded");
    r.accesses = accesses;
    r.platform_resets = platform.platform_resets();
    r.reset_writes = reset_writes;
    r.last_progress_code = last_progress_code;
    r.in_pass_through = platform.ec().in_pass_through();
    r.guard_threshold = platform.ec().guard_threshold();
    r.handshake_replies = platform.ec().handshake_replies();
    r.flash = platform.flash().counters();
    return r;
  }

  sim::ModelSettings settings;
  sim::Platform platform;
  std::vector<std::string> port_violations;
  size_t lost_violations = 0;
  uint64_t accesses = 0;
  uint64_t reset_writes = 0;
  int last_progress_code = -1;
};

uint32_t ec_model_api_version(void) {
  return EC_MODEL_API_VERSION;
}

ec_model* ec_model_open(const char* settings_path, char* error, size_t error_size) {
  try {
    sim::ModelSettings settings =
        settings_path == nullptr ? sim::ModelSettings{} : sim::ReadSettingsFile(settings_path);
    auto* model = new ec_model(std::move(settings));
    CopyText("", error, error_size);
    return model;
  } catch (const std::exception& e) {
    CopyText(e.what(), error, error_size);
  } catch (...) {
    CopyText("the EC model could not be opened", error, error_size);
  }
  return nullptr;
}

uint8_t ec_model_read(ec_model* model, uint16_t port) {
  constexpr uint8_t kUndecoded = 0xFF; // what the bus reads where nothing answers
  if (model == nullptr) {
    return kUndecoded;
  }
  try {
    ++model->accesses;
    if (port == sim::kEcDataPort || port == sim::kEcCommandPort) {
      return model->platform.PortRead(port);
    }
    model->Violation("read from port " + sim::Hex(port) + ", which the EC does not answer");
  } catch (...) {
    model->Failure();
  }
  return kUndecoded;
}

void ec_model_write(ec_model* model, uint16_t port, uint8_t value) {
  if (model == nullptr) {
    return;
  }
  try {
    ++model->accesses;
    switch (port) {
    case sim::kPostCodePort:
      model->last_progress_code = value;
      break;
    case sim::kResetControlPort:
      model->reset_writes += value == sim::kResetFull ? 1 : 0;
      break;
    case sim::kEcDataPort:
    case sim::kEcCommandPort:
      break;
    default:
      model->Violation("write of " + sim::HexByte(value) + " to port " + sim::Hex(port) +
                       ", which the EC does not decode");
      return;
    }
    model->platform.PortWrite(port, value);
  } catch (...) {
    model->Failure();
  }
}

void ec_model_platform_reset(ec_model* model) {
  if (model == nullptr) {
    return;
  }
  try {
    model->platform.PlatformReset();
  } catch (...) {
    model->Failure();
  }
}

void ec_model_close(ec_model* model) {
  if (model == nullptr) {
    return;
  }
  const std::unique_ptr<ec_model> owned(model);
  try {
    const std::vector<uint8_t>& flash = model->platform.flash().memory();
    if (!model->settings.flash_file.empty()) {
      const std::string why = sim::WriteWhole(
          model->settings.flash_file,
          std::string_view(reinterpret_cast<const char*>(flash.data()), flash.size()));
      if (!why.empty()) {
        std::fprintf(stderr, "ec_model: flash_file not saved: %s\n", why.c_str());
      }
    }
    if (!model->settings.report_file.empty()) {
      const std::string why =
          sim::WriteWhole(model->settings.report_file, sim::ReportJson(model->Report()));
      if (!why.empty()) {
        std::fprintf(stderr, "ec_model: report_file not written: %s\n", why.c_str());
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ec_model: closing: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "ec_model: closing failed\n");
  }
}
