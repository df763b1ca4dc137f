// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/show_report.h"

#include <optional>

#include "common/setup_data.h"
#include "sim/hex_text.h"
#include "sim/json_text.h"
#include "tools/ec_setup/exit_status.h"
#include "tools/ec_setup/guard_check.h"
#include "tools/ec_setup/outcome_report.h"
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

std::string JsonByte(const std::optional<uint8_t>& value) {
  return value ? std::to_string(*value) : "null";
}

std::string EcWords(const EcReading& ec) {
  if (!ec.value) {
    return "unread: " + ec.why;
  }
  return Hex(*ec.value, 2) + " now (a live register: it may read otherwise at the next boot)";
}

std::string NextBootWords(const ShowInputs& in) {
  const std::optional<bool> off = PowersOff(in.setup.data, in.ec);
  if (!off) {
    return "unknown: the guard is on and EC register 0x93 cannot be read";
  }
  if (!GuardOf(in.setup.data)) {
    return "the guard does not act";
  }
  return *off ? "powers off during DXE: EC register 0x93 reads below the guard's threshold"
              : "goes on past the guard: EC register 0x93 reads at or above its threshold";
}

std::string MachineWords(const MachineCheck& machine) {
  if (machine.entry) {
    return IdentityWords(*machine.identity.identity) + ": listed (" + *machine.entry + ")";
  }
  return "not listed, changes refused: " + machine.refusal;
}

std::string JsonOrNull(const std::optional<std::string>& text) {
  return text ? sim::JsonString(*text) : "null";
}

std::string JsonBool(std::optional<bool> value) {
  return value ? (*value ? "true" : "false") : "null";
}

std::string IdentityJson(const IdentityRead& read) {
  if (!read.identity) {
    return "null";
  }
  std::string fields;
  for (size_t i = 0; i < read.identity->values.size(); ++i) {
    fields += (i == 0 ? "" : ", ") + sim::JsonString(kIdentityFields[i].name) + ": " +
              sim::JsonString(read.identity->values[i]);
  }
  return "{" + fields + "}";
}

} // namespace

std::string ShowText(const ShowInputs& in) {
  const Variable& setup = in.setup;
  const std::string unreadable = UnreadableBy(setup.data.size());
  return "variable    " + in.path + "\n" + "size        " + std::to_string(setup.data.size()) +
         " bytes" + (unreadable.empty() ? "" : ", " + unreadable) + "\n" + "file        " +
         ImmutableWords(in.immutable) + "\n" + "attributes  " + Hex(setup.attributes, 8) + " (" +
         AttributeWords(setup.attributes) + ")\n" + "update      " + UpdateWords(setup) + "\n" +
         "guard       " + GuardWords(setup) + "\n" + "EC 0x93     " + EcWords(in.ec) + "\n" +
         "next boot   " + NextBootWords(in) + "\n" + "machine     " + MachineWords(in.machine) +
         "\n";
}

std::string ShowJson(const ShowInputs& in) {
  const Variable& setup = in.setup;
  const std::optional<uint8_t> request = Byte(setup, SETUP_EC_UPDATE_REQUEST);
  const std::optional<uint8_t> enable = Byte(setup, SETUP_EC_GUARD_ENABLE);
  const std::optional<bool> listed =
      in.machine.status == kExitUsage ? std::nullopt : std::optional<bool>(bool(in.machine.entry));
  return "{\"outcome\": \"shown\", \"exit_status\": 0, \"variable\": " + sim::JsonString(in.path) +
         ", \"size\": " + std::to_string(setup.data.size()) +
         ", \"immutable\": " + JsonBool(in.immutable) +
         ", \"attributes\": " + std::to_string(setup.attributes) +
         ", \"attribute_names\": " + JsonStrings(AttributeNames(setup.attributes)) +
         ", \"drivers_can_read\": " + (UnreadableBy(setup.data.size()).empty() ? "true" : "false") +
         ", \"update_request\": " + JsonByte(request) + ", \"update_requested\": " +
         (request ? (*request == EC_UPDATE_REQUESTED ? "true" : "false") : "null") +
         ", \"guard_enable\": " + JsonByte(enable) +
         ", \"guard_on\": " + (enable ? (*enable != 0 ? "true" : "false") : "null") +
         ", \"guard_threshold\": " + JsonByte(Byte(setup, SETUP_EC_GUARD_THRESHOLD)) +
         ", \"ec_register_0x93\": " + JsonByte(in.ec.value) + ", \"ec_unread\": " +
         JsonOrNull(in.ec.value ? std::nullopt : std::optional<std::string>(in.ec.why)) +
         ", \"next_boot_powers_off\": " + JsonBool(PowersOff(setup.data, in.ec)) +
         ", \"machine\": " + IdentityJson(in.machine.identity) +
         ", \"machine_listed\": " + JsonBool(listed) +
         ", \"machine_entry\": " + JsonOrNull(in.machine.entry) + ", \"machine_refusal\": " +
         JsonOrNull(in.machine.refusal.empty() ? std::nullopt
                                               : std::optional<std::string>(in.machine.refusal)) +
         "}\n";
}

} // namespace ec_setup
