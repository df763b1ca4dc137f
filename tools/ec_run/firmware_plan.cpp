// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/firmware_plan.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "sim/expectation.h"
#include "sim/json_text.h"
#include "sim/model_settings_text.h"
#include "tools/ec_run/busy_options.h"
#include "tools/ec_run/report_text.h"
#include "tools/ec_run/run_command.h"

namespace ec_run {

namespace {

// The firmware rig's boot flash is one board's: 16 MiB, the firmware in its
// top 4 MiB.
constexpr uint64_t kBoardFlashSize = uint64_t{16} << 20;
constexpr double kSecondsPerUs = 1e-6;

std::string JsonHex(const std::optional<std::vector<uint8_t>>& bytes) {
  if (!bytes) {
    return "null";
  }
  std::string hex;
  for (const uint8_t byte : *bytes) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  return "\"" + hex + "\"";
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
  if (!file.good()) {
    throw InputError("cannot write " + path);
  }
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

// Both drivers sit in the firmware volume and both read "Setup": each
// scenario keeps the other driver's enable byte off, so it meets one driver,
// as the catalogue means it.
void OnlyTheScenariosDriver(sim::Scenario& scenario) {
  if (!scenario.setup) {
    return;
  }
  const size_t other =
      scenario.driver == sim::Driver::Updater ? sim::kGuardEnableByte : sim::kRequestByte;
  if (scenario.setup->size() > other) {
    (*scenario.setup)[other] = 0;
  }
}

// What the rig cannot stage: its trigger sample installs the trigger once,
// and its variable store answers GetVariable itself.
void CheckStageable(const sim::Scenario& scenario) {
  if (scenario.trigger_installs != 1) {
    throw UsageError("scenario '" + scenario.name +
                     "' does not apply under firmware: the firmware installs the trigger once");
  }
  if (scenario.get_variable_error ||
      scenario.setup_attributes != sim::Scenario{}.setup_attributes) {
    throw UsageError("scenario '" + scenario.name +
                     "' does not apply under firmware: its \"Setup\" cannot be stored as it is");
  }
}

std::string KeysJson(const std::vector<sim::KeyStroke>& keys) {
  std::string out = "[";
  for (const sim::KeyStroke& key : keys) {
    std::ostringstream at;
    at << static_cast<double>(key.at_us) * kSecondsPerUs;
    out += std::string(out.size() > 1 ? ", " : "") + "{\"after_prompt_s\": " + at.str() +
           ", \"key\": " + sim::JsonString(std::string(1, static_cast<char>(key.unicode))) + "}";
  }
  return out + "]";
}

std::string BlocksJson(const std::set<unsigned>& blocks) {
  std::string out = "[";
  for (const unsigned block : blocks) {
    out += (out.size() > 1 ? ", " : "") + std::to_string(block);
  }
  return out + "]";
}

std::string OptionalPath(const std::optional<std::string>& path) {
  return path ? sim::JsonString(*path) : "null";
}

} // namespace

int WriteFirmwarePlan(const Options& options) {
  ChosenRun chosen = ChooseRun(options);
  if (chosen.flash_image && chosen.flash_image->bytes.size() != kBoardFlashSize) {
    throw InputError(*options.flash_image + ": under firmware the flash image is the board's " +
                     "16 MiB boot flash, not " + Grouped(chosen.flash_image->bytes.size()) +
                     " bytes");
  }
  sim::Scenario& scenario = chosen.scenario;
  CheckStageable(scenario);
  OnlyTheScenariosDriver(scenario);
  ApplyBusy(options.busy, scenario.platform);
  const sim::Expectation expected = sim::Expect(scenario);

  const std::string dir = *options.firmware_plan + "/";
  const sim::PlatformConfig& platform = scenario.platform;
  WriteFile(dir + "ec.settings", sim::SettingsText(platform.ec, platform.flash));
  WriteFile(dir + "ec_image.bin", platform.ec_image);
  WriteFile(dir + "ec_flash.bin", platform.flash_before.empty()
                                      ? std::vector<uint8_t>(sim::kFlashSize, sim::kFlashErased)
                                      : platform.flash_before);
  WriteFile(dir + "expected_flash.bin", expected.flash_after);
  if (options.trace) {
    // Opened once every other input is known good, as ./run opens it.
    WriteFile(*options.trace, std::string());
  }

  // "banner" and "ec_image_base": what the updater image was built with, the
  // banner it shows and where the board flash must hold the EC image.
  std::ostringstream json;
  json << "{\n"
       << "  \"scenario\": " << sim::JsonString(scenario.name) << ",\n"
       << "  \"summary\": " << sim::JsonString(scenario.summary) << ",\n"
       << "  \"driver\": \"" << (scenario.driver == sim::Driver::Updater ? "updater" : "guard")
       << "\",\n"
       << "  \"setup\": " << JsonHex(scenario.setup) << ",\n"
       << "  \"keys\": " << KeysJson(scenario.keys) << ",\n"
       << "  \"flash_image\": " << OptionalPath(options.flash_image) << ",\n"
       << "  \"banner\": " << sim::JsonString(Utf8(sim::Banner(platform.image))) << ",\n"
       << "  \"ec_image_base\": " << platform.image.ec_image_base << ",\n"
       << "  \"busy\": " << (options.busy.any() ? "true" : "false") << ",\n"
       << "  \"never_busy_accesses\": " << sim::FullUpdateTrace().size() << ",\n"
       << "  \"trace\": " << OptionalPath(options.trace) << ",\n"
       << "  \"trace_blocks\": " << BlocksJson(options.trace_blocks) << ",\n"
       << "  \"expected\": {\"ending\": " << sim::JsonString(sim::EndingName(expected.ending))
       << ", \"blocks_verified\": " << expected.blocks_verified
       << ", \"restart\": " << (expected.restart ? "true" : "false")
       << ", \"power_off\": " << (expected.power_off ? "true" : "false")
       << ", \"setup_after\": " << JsonHex(expected.setup_after) << "}\n"
       << "}\n";
  WriteFile(dir + "plan.json", json.str());
  return 0;
}

} // namespace ec_run
