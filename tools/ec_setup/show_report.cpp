// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/show_report.h"

#include <optional>

#include "common/setup_data.h"
#include "sim/hex_text.h"
#include "sim/json_text.h"
#include "tools/ec_setup/setup_edit.h"

namespace ec_setup {

using sim::Hex;

namespace {

// The byte, when the variable reaches it and the drivers can read it at all.
std::optional<uint8_t> Byte(const Variable& setup, size_t offset) {
  if (!UnreadableBy(setup.data.size()).empty() || !SetupHasByte(setup.data.size(), offset)) {
    return std::nullopt;
  }
  return setup.data[offset];
}

std::string ByteIs(size_t offset, uint8_t value) {
  return "byte " + std::to_string(offset) + " = " + Hex(value, 2);
}

std::string Missing(const Variable& setup, size_t offset) {
  const std::string unreadable = UnreadableBy(setup.data.size());
  return unreadable.empty() ? "absent: the variable ends before byte " + std::to_string(offset)
                            : "unread: the drivers cannot read the variable";
}

std::string UpdateWords(const Variable& setup) {
  const std::optional<uint8_t> request = Byte(setup, SETUP_EC_UPDATE_REQUEST);
  if (!request) {
    return Missing(setup, SETUP_EC_UPDATE_REQUEST);
  }
  const std::string is = " (" + ByteIs(SETUP_EC_UPDATE_REQUEST, *request) + ")";
  if (*request == EC_UPDATE_REQUESTED) {
    return "requested" + is + ": the EC update runs at the next boot";
  }
  if (*request != 0) {
    return "not requested" + is + ": only 1 requests one; the updater clears it when it runs";
  }
  return "not requested" + is;
}

std::string GuardWords(const Variable& setup) {
  const std::optional<uint8_t> enable = Byte(setup, SETUP_EC_GUARD_ENABLE);
  if (!enable) {
    return Missing(setup, SETUP_EC_GUARD_ENABLE);
  }
  const std::optional<uint8_t> threshold = Byte(setup, SETUP_EC_GUARD_THRESHOLD);
  const std::string state =
      (*enable != 0 ? "on (" : "off (") + ByteIs(SETUP_EC_GUARD_ENABLE, *enable) + ")";
  if (!threshold) {
    return state + ", threshold " + Missing(setup, SETUP_EC_GUARD_THRESHOLD);
  }
  std::string words = state + ", threshold " + std::to_string(*threshold) + " (" +
                      ByteIs(SETUP_EC_GUARD_THRESHOLD, *threshold) + ")";
  if (*enable != 0) {
    words += ": the machine powers off at boot while EC register 0x93 reads below " +
             std::to_string(*threshold);
  }
  return words;
}

std::string ImmutableWords(std::optional<bool> immutable) {
  if (!immutable) {
    return "no inode flags on this file system";
  }
  return *immutable ? "immutable flag set (a change lifts it for its write only)"
                    : "immutable flag clear";
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) {
    list += (list.empty() ? "" : ", ") + sim::JsonString(item);
  }
  return "[" + list + "]";
}

std::string JsonByte(const std::optional<uint8_t>& value) {
  return value ? std::to_string(*value) : "null";
}

} // namespace

std::string ShowText(const std::string& path, const Variable& setup,
                     std::optional<bool> immutable) {
  const std::string unreadable = UnreadableBy(setup.data.size());
  return "variable    " + path + "\n" + "size        " + std::to_string(setup.data.size()) +
         " bytes" + (unreadable.empty() ? "" : ", " + unreadable) + "\n" + "file        " +
         ImmutableWords(immutable) + "\n" + "attributes  " + Hex(setup.attributes, 8) + " (" +
         AttributeWords(setup.attributes) + ")\n" + "update      " + UpdateWords(setup) + "\n" +
         "guard       " + GuardWords(setup) + "\n";
}

std::string ShowJson(const std::string& path, const Variable& setup,
                     std::optional<bool> immutable) {
  const std::optional<uint8_t> request = Byte(setup, SETUP_EC_UPDATE_REQUEST);
  const std::optional<uint8_t> enable = Byte(setup, SETUP_EC_GUARD_ENABLE);
  return "{\"variable\": " + sim::JsonString(path) +
         ", \"size\": " + std::to_string(setup.data.size()) +
         ", \"immutable\": " + (immutable ? (*immutable ? "true" : "false") : "null") +
         ", \"attributes\": " + std::to_string(setup.attributes) +
         ", \"attribute_names\": " + JsonList(AttributeNames(setup.attributes)) +
         ", \"drivers_can_read\": " + (UnreadableBy(setup.data.size()).empty() ? "true" : "false") +
         ", \"update_request\": " + JsonByte(request) + ", \"update_requested\": " +
         (request ? (*request == EC_UPDATE_REQUESTED ? "true" : "false") : "null") +
         ", \"guard_enable\": " + JsonByte(enable) +
         ", \"guard_on\": " + (enable ? (*enable != 0 ? "true" : "false") : "null") +
         ", \"guard_threshold\": " + JsonByte(Byte(setup, SETUP_EC_GUARD_THRESHOLD)) + "}\n";
}

} // namespace ec_setup
