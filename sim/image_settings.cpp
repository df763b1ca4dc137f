// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/image_settings.h"

#include <set>
#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint64_t k4GiB = uint64_t{1} << 32;

uint64_t Number(const std::string& key, const std::string& value) {
  size_t used = 0;
  uint64_t number = 0;
  try {
    number = std::stoull(value, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != value.size() || value.front() == '-') {
    throw std::invalid_argument(key + "=" + value + ": not a number");
  }
  return number;
}

uint8_t Byte(const std::string& key, const std::string& value) {
  const uint64_t number = Number(key, value);
  if (number > 0xFF) {
    throw std::invalid_argument(key + "=" + value + ": a version byte is 0 to 0xFF");
  }
  return static_cast<uint8_t>(number);
}

uint64_t EcImageBase(const std::string& key, const std::string& value) {
  const uint64_t base = Number(key, value);
  if (base % kEcBlockSize != 0 || base > k4GiB - kEcImageSize) {
    throw std::invalid_argument(key + "=" + value +
                                ": the EC image must start 1 KiB aligned and end by 4 GiB");
  }
  return base;
}

char16_t HexDigit(unsigned value) {
  return static_cast<char16_t>(value < 10 ? u'0' + value : u'A' + value - 10);
}

} // namespace

std::u16string Banner(const ImageSettings& settings) {
  std::u16string text = u"The preparing update EC version is: ";
  const uint8_t fields[] = {settings.version_field1, 0x0A, settings.version_field3};
  for (size_t i = 0; i < std::size(fields); ++i) {
    text += i == 0 ? u"" : u".";
    text += HexDigit(fields[i] >> 4);
    text += HexDigit(fields[i] & 0xF);
  }
  return text;
}

ImageSettings ParseImageSettings(const std::string& text) {
  ImageSettings settings;
  std::set<std::string> seen;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (line.empty()) {
      continue;
    }
    const size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    if (!seen.insert(key).second) {
      throw std::invalid_argument("settings line " + std::to_string(number) + ": " + key +
                                  " given twice");
    }
    if (key == "EC_VERSION_FIELD1") {
      settings.version_field1 = Byte(key, value);
    } else if (key == "EC_VERSION_FIELD3") {
      settings.version_field3 = Byte(key, value);
    } else if (key == "EC_IMAGE_BASE") {
      settings.ec_image_base = EcImageBase(key, value);
    } else {
      throw std::invalid_argument("settings line " + std::to_string(number) + ": unknown key '" +
                                  key + "'");
    }
  }
  return settings;
}

} // namespace sim
