// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs a catalogue scenario on a real driver image in the emulated machine,
// set up and recorded exactly as the host-built run is, so the same checks
// judge both.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/expectation.h"
#include "sim/scenario.h"
#include "tools/image_bench/emulated_machine.h"

namespace image_bench {

struct EmulatedRun {
  sim::RunRecord record;
  Halt halt;                 // how the machine ended; None when every call returned
  uint64_t instructions = 0; // executed inside the image
  PeImage image;
  std::vector<uint64_t> profile;
};

EmulatedRun RunImage(const sim::Scenario& scenario, std::span<const uint8_t> image_file,
                     MachineOptions options = {});

// The record alone, for an image file on disk. An unusable file throws
// ImageError.
sim::RunRecord RunEmulated(const sim::Scenario& scenario, const std::string& image_path);

} // namespace image_bench
