// SPDX-License-Identifier: BSD-2-Clause-Patent
// The run commands of ec_run: a catalogue scenario (optionally with another
// EC image, keys or driver image), the guard with a given threshold and
// register value, and the scenario list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "tools/ec_run/flash_image.h"
#include "tools/ec_run/input_files.h"
#include "tools/ec_run/options.h"

namespace ec_run {

// The scenario the command line chose (guard: the guard with its threshold
// and register value), with its EC image, keys and busy EC and flash, and the
// boot-flash image it came from when --flash-image gave one.
struct ChosenRun {
  sim::Scenario scenario;
  std::optional<FlashImage> flash_image;
};
ChosenRun ChooseRun(const Options& options);

int RunScenario(const Options& options);
int RunGuard(const Options& options);
int ListScenarios();

// A driver image file, read and checked; InputError names the file and why.
std::vector<uint8_t> LoadDriverImage(const std::string& path);
// What an updater image was built with (the record beside it); InputError for
// a bad record.
sim::ImageSettings LoadImageSettings(const std::string& image_path);

} // namespace ec_run
