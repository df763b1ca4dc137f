// SPDX-License-Identifier: BSD-2-Clause-Patent
// A UEFI variable as Linux's efivarfs shows it: one file per variable, named
// NAME-GUID, holding the 4 attribute bytes the firmware returned (little
// endian) followed by the variable's data. A write of the same layout is one
// SetVariable call with those attributes and that data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "efi/efi_types.h"

namespace ec_setup {

inline constexpr size_t kAttributesSize = sizeof(UINT32);

struct Variable {
  UINT32 attributes = 0;
  std::vector<uint8_t> data;

  bool operator==(const Variable&) const = default;
};

// The file's contents for a variable: attributes, then data.
std::vector<uint8_t> FileBytes(const Variable& variable);

// nullopt: fewer bytes than the attributes take.
std::optional<Variable> ParseFileBytes(std::span<const uint8_t> bytes);

// {"non-volatile", "boot-service access", "runtime access"}; unnamed bits in hex.
std::vector<std::string> AttributeNames(UINT32 attributes);
// The same joined with commas, or "none".
std::string AttributeWords(UINT32 attributes);

// The file name efivarfs gives "Setup": Setup-ec87d643-eba4-4bb5-a1e5-3f3e36b20da9.
std::string SetupFileName();

} // namespace ec_setup
