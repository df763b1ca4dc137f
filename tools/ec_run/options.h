// SPDX-License-Identifier: BSD-2-Clause-Patent
// The command line of ec_run: which scenario on which image, with what EC
// image or boot-flash image, keys, EC and flash timing and port trace, or the
// guard with a threshold and a register value, or the performance report.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/fake_firmware.h"
#include "tools/ec_run/busy_options.h"

namespace ec_run {

// A command line that cannot be run as written; ec_run exits with status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class Command { Run, Guard, Bench, List, Help };

struct Options {
  Command command = Command::Run;
  std::string scenario = "update";
  std::optional<std::string> image;       // the driver image to run instead of the built one
  std::optional<std::string> guard_image; // bench: the guard image instead of the built one
  std::optional<std::string> ec_image;    // a 128 KiB file for the boot flash
  std::optional<std::string> flash_image; // a whole boot-flash image ending at 4 GiB
  std::vector<sim::KeyStroke> keys;       // replace the scenario's keys when given
  uint8_t threshold = 0;
  uint8_t reading = 0;
  bool profile = false; // bench: where the instructions go
  BusySettings busy;
  uint64_t io_ns = kDefaultIoNs;    // bus cost of one port access
  std::optional<std::string> trace; // CSV of every port access; "-": stdout
  std::set<unsigned> trace_blocks;  // empty: every block
  // firmware-plan DIR: the run is not made here but planned for the real
  // firmware in QEMU (./run firmware), its files written into DIR.
  std::optional<std::string> firmware_plan;
};

Options ParseOptions(const std::vector<std::string>& args);
// "q@2.5": the key q, waiting from 2.5 s of virtual time.
sim::KeyStroke ParseKey(const std::string& text);
std::string UsageText();
// ./run firmware --help.
std::string FirmwareUsageText();

} // namespace ec_run
