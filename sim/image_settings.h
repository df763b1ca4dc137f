// SPDX-License-Identifier: BSD-2-Clause-Patent
// The constants an updater image was built with: the banner's version bytes
// and where in the boot flash it reads the EC image. What a run expects
// follows them, so a board's own build is judged as that board runs it.
#pragma once

#include <cstdint>
#include <string>

#include "sim/ec_protocol.h"

namespace sim {

struct ImageSettings {
  uint8_t version_field1 = 0;
  uint8_t version_field3 = 0;
  uint64_t ec_image_base = kBootFlashBase;
  bool operator==(const ImageSettings&) const = default;
};

// The banner row: "The preparing update EC version is: 12.0A.34".
std::u16string Banner(const ImageSettings& settings);

// The record a build writes beside the image (NAME.settings next to
// NAME.efi): lines EC_VERSION_FIELD1=, EC_VERSION_FIELD3=, EC_IMAGE_BASE=
// with C integer values, each at most once; an absent line keeps the
// default. A bad line, or a value the sources would refuse, throws
// std::invalid_argument with a one-line reason.
ImageSettings ParseImageSettings(const std::string& text);

} // namespace sim
