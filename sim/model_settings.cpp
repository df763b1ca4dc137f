// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/model_settings.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "sim/hex_text.h"

namespace sim {

namespace {

// Bounds far beyond any part that still works (an EC busy for a second per
// byte, an erase of minutes) that keep every count the model derives from
// them inside its unsigned counters.
constexpr int64_t kMostEcReads = 1'000'000;
constexpr int64_t kMostEraseReads = 100'000'000;
constexpr int64_t kMostFlashReads = 1'000'000;
constexpr int64_t kMostNotReadyReplies = 1'000'000;
constexpr int64_t kByteMax = 0xFF;
constexpr int64_t kFlashAddressMax = kFlashSize - 1;

struct NumberKey {
  const char* name;
  int64_t least;
  int64_t most;
  bool hex; // how the range is written in a refusal
  void (*set)(ModelSettings&, int64_t);
};

const NumberKey kNumberKeys[] = {
    {"ec_busy_input", 0, kMostEcReads, false,
     [](ModelSettings& s, int64_t v) { s.ec.ibf_busy_reads = static_cast<unsigned>(v); }},
    {"ec_busy_output", 0, kMostEcReads, false,
     [](ModelSettings& s, int64_t v) { s.ec.obf_delay_reads = static_cast<unsigned>(v); }},
    {"ec_busy_at_start", 0, kMostEcReads, false,
     [](ModelSettings& s, int64_t v) { s.ec.busy_at_start_reads = static_cast<unsigned>(v); }},
    {"replies_before_ready", -1, kMostNotReadyReplies, false,
     [](ModelSettings& s, int64_t v) { s.ec.replies_before_ready = static_cast<int>(v); }},
    {"not_ready_reply", 0, kByteMax, true,
     [](ModelSettings& s, int64_t v) { s.ec.not_ready_reply = static_cast<uint8_t>(v); }},
    {"flash_busy_erase", 0, kMostEraseReads, false,
     [](ModelSettings& s, int64_t v) {
       s.flash.busy_reads_after_erase = static_cast<unsigned>(v);
     }},
    {"flash_busy_program", 0, kMostFlashReads, false,
     [](ModelSettings& s, int64_t v) {
       s.flash.busy_reads_after_program = static_cast<unsigned>(v);
     }},
    {"flash_busy_forever", 0, 1, false,
     [](ModelSettings& s, int64_t v) { s.flash.busy_forever = v != 0; }},
    {"flash_busy_write_enable", 0, kMostFlashReads, false,
     [](ModelSettings& s, int64_t v) {
       s.flash.busy_reads_after_write_enable = static_cast<unsigned>(v);
     }},
    {"flash_latch_write_disable", 0, kMostFlashReads, false,
     [](ModelSettings& s, int64_t v) {
       s.flash.latch_reads_after_write_disable = static_cast<unsigned>(v);
     }},
    {"stuck_erase_address", 0, kFlashAddressMax, true,
     [](ModelSettings& s, int64_t v) { s.flash.stuck_erase_address = static_cast<uint32_t>(v); }},
    {"stuck_value", 0, kByteMax, true,
     [](ModelSettings& s, int64_t v) { s.flash.stuck_value = static_cast<uint8_t>(v); }},
    {"bad_program_address", 0, kFlashAddressMax, true,
     [](ModelSettings& s, int64_t v) { s.flash.bad_program_address = static_cast<uint32_t>(v); }},
    {"bad_program_flip", 0, kByteMax, true,
     [](ModelSettings& s, int64_t v) { s.flash.bad_program_flip = static_cast<uint8_t>(v); }},
};

constexpr const char* kRegisterKey = "register";
constexpr const char* kFlashIdKey = "flash_id";
constexpr const char* kFlashFileKey = "flash_file";
constexpr const char* kReportFileKey = "report_file";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  while (!(text = Trim(text)).empty()) {
    const size_t end = std::min(text.find_first_of(" \t"), text.size());
    words.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return words;
}

// Decimal or 0x-prefixed hexadecimal, optionally negative; nothing else.
std::optional<int64_t> Number(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) {
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      value > static_cast<uint64_t>(INT64_MAX)) {
    return std::nullopt;
  }
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

std::string Bound(int64_t value, bool hex) {
  return hex && value >= 0 ? Hex(static_cast<uint64_t>(value)) : std::to_string(value);
}

class LineParser {
public:
  LineParser(ModelSettings& settings, std::string folder, unsigned line)
      : s_(settings), folder_(std::move(folder)), line_(line) {}

  void Parse(std::string_view text) {
    text = Trim(text.substr(0, text.find('#')));
    if (text.empty()) {
      return;
    }
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
      Fail("'" + std::string(text) + "' is not 'key = value'");
    }
    const std::vector<std::string_view> key = Words(text.substr(0, equals));
    const std::string_view value = Trim(text.substr(equals + 1));
    if (key.empty()) {
      Fail("no key before '='");
    }
    const std::string name(key[0]);
    if (key.size() != (name == kRegisterKey ? 2u : 1u)) {
      Fail("unknown key '" + std::string(Trim(text.substr(0, equals))) + "'");
    }
    if (value.empty()) {
      Fail(name + " has no value");
    }
    if (name == kRegisterKey) {
      Register(key[1], value);
    } else if (name == kFlashIdKey) {
      Given(name);
      FlashId(value);
    } else if (name == kFlashFileKey || name == kReportFileKey) {
      Given(name);
      std::string& path = name == kFlashFileKey ? s_.flash_file : s_.report_file;
      path = value[0] == '/' || folder_.empty() ? std::string(value)
                                                : folder_ + "/" + std::string(value);
      if (name == kFlashFileKey) {
        s_.flash_file_line = line_;
      }
    } else {
      NumberSetting(name, value);
    }
  }

private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw SettingsError("settings line " + std::to_string(line_) + ": " + what);
  }

  void Given(const std::string& key) {
    if (!s_.keys.insert(key).second) {
      Fail(key + " set twice");
    }
  }

  int64_t InRange(const std::string& key, std::string_view text, int64_t least, int64_t most,
                  bool hex) const {
    const std::optional<int64_t> value = Number(text);
    if (!value || *value < least || *value > most) {
      Fail(key + " wants a number from " + Bound(least, hex) + " to " + Bound(most, hex) +
           ", not '" + std::string(text) + "'");
    }
    return *value;
  }

  void NumberSetting(const std::string& name, std::string_view value) {
    for (const NumberKey& key : kNumberKeys) {
      if (name == key.name) {
        Given(name);
        key.set(s_, InRange(name, value, key.least, key.most, key.hex));
        return;
      }
    }
    Fail("unknown key '" + name + "'");
  }

  void Register(std::string_view address_text, std::string_view value) {
    const int64_t address = InRange(kRegisterKey, address_text, 0, kByteMax, true);
    const std::string key =
        std::string(kRegisterKey) + " " + HexByte(static_cast<uint8_t>(address));
    Given(key);
    s_.ec.registers[static_cast<size_t>(address)] =
        static_cast<uint8_t>(InRange(key, value, 0, kByteMax, true));
  }

  void FlashId(std::string_view value) {
    const std::vector<std::string_view> bytes = Words(value);
    if (bytes.size() != s_.flash.id.size()) {
      Fail(std::string(kFlashIdKey) + " wants " + std::to_string(s_.flash.id.size()) +
           " bytes, not '" + std::string(value) + "'");
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
      s_.flash.id[i] = static_cast<uint8_t>(InRange(kFlashIdKey, bytes[i], 0, kByteMax, true));
    }
  }

  ModelSettings& s_;
  std::string folder_;
  unsigned line_;
};

} // namespace

ModelSettings ParseSettings(std::string_view text, const std::string& folder) {
  ModelSettings settings;
  unsigned line = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    LineParser(settings, folder, ++line).Parse(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return settings;
}

ModelSettings ReadSettingsFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(file), {});
  if (!file.is_open() || file.bad()) {
    throw SettingsError("settings file " + path + " cannot be read");
  }
  const size_t slash = path.rfind('/');
  return ParseSettings(text, slash == std::string::npos ? ""
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash));
}

} // namespace sim
