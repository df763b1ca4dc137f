// SPDX-License-Identifier: BSD-2-Clause-Patent
// The run commands of ec_run: a catalogue scenario (optionally with another
// EC image, keys or driver image), the guard with a given threshold and
// register value, and the scenario list.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "tools/ec_run/flash_image.h"
#include "tools/ec_run/options.h"

namespace ec_run {

// An input file that cannot be used; ec_run exits with status 2.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

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

// The bytes of an input file; InputError names the file and why it cannot be read.
std::vector<uint8_t> ReadInputFile(const std::string& path);
// A driver image file, read and checked; InputError names the file and why.
std::vector<uint8_t> LoadDriverImage(const std::string& path);
// What an updater image was built with (the record beside it); InputError for
// a bad record.
sim::ImageSettings LoadImageSettings(const std::string& image_path);
// An EC image file: exactly 128 KiB.
std::vector<uint8_t> LoadEcImage(const std::string& path);

} // namespace ec_run
