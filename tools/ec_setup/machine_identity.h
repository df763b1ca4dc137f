// SPDX-License-Identifier: BSD-2-Clause-Patent
// Which machine this is, as its SMBIOS tables name it and Linux shows them in
// /sys/class/dmi/id/: the system's vendor and product, the board's vendor and
// name. "Setup" bytes mean something only on the boards whose firmware
// carries these drivers, so changes go by this identity.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ec_setup {

inline constexpr const char* kDefaultDmi = "/sys/class/dmi/id";

struct IdentityField {
  const char* name; // the file in the DMI folder, and the key in a configuration entry
  bool required;    // every SMBIOS system record has these; boards may lack a board record
};

inline constexpr IdentityField kIdentityFields[] = {
    {"sys_vendor", true},
    {"product_name", true},
    {"board_vendor", false},
    {"board_name", false},
};

// One value per field of kIdentityFields, in that order; empty when absent.
struct Identity {
  std::vector<std::string> values;
};

struct IdentityRead {
  std::optional<Identity> identity;
  std::string why; // without an identity: which required field is missing
};

IdentityRead ReadIdentity(const std::string& dmi_dir);

// "sys_vendor 'QEMU', product_name '...', board_vendor '', board_name ''"
std::string IdentityWords(const Identity& identity);

} // namespace ec_setup
