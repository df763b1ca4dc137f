// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/variable_file.h"

#include <algorithm>
#include <cstdio>

#include "common/setup_data.h"

namespace ec_setup {

namespace {

struct AttributeName {
  UINT32 bit;
  const char* words;
};

constexpr AttributeName kAttributeNames[] = {
    {EFI_VARIABLE_NON_VOLATILE, "non-volatile"},
    {EFI_VARIABLE_BOOTSERVICE_ACCESS, "boot-service access"},
    {EFI_VARIABLE_RUNTIME_ACCESS, "runtime access"},
    {EFI_VARIABLE_HARDWARE_ERROR_RECORD, "hardware error record"},
    {EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS, "authenticated write access"},
    {EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS, "time-based authenticated write access"},
    {EFI_VARIABLE_APPEND_WRITE, "append write"},
};

} // namespace

std::vector<uint8_t> FileBytes(const Variable& variable) {
  std::vector<uint8_t> bytes(kAttributesSize + variable.data.size());
  for (size_t i = 0; i < kAttributesSize; ++i) {
    bytes[i] = static_cast<uint8_t>(variable.attributes >> (8 * i));
  }
  std::copy(variable.data.begin(), variable.data.end(), bytes.begin() + kAttributesSize);
  return bytes;
}

std::optional<Variable> ParseFileBytes(std::span<const uint8_t> bytes) {
  if (bytes.size() < kAttributesSize) {
    return std::nullopt;
  }
  Variable variable;
  for (size_t i = 0; i < kAttributesSize; ++i) {
    variable.attributes |= static_cast<UINT32>(bytes[i]) << (8 * i);
  }
  variable.data.assign(bytes.begin() + kAttributesSize, bytes.end());
  return variable;
}

std::vector<std::string> AttributeNames(UINT32 attributes) {
  std::vector<std::string> names;
  UINT32 unnamed = attributes;
  for (const AttributeName& name : kAttributeNames) {
    if ((attributes & name.bit) != 0) {
      names.emplace_back(name.words);
      unnamed &= ~name.bit;
    }
  }
  if (unnamed != 0) {
    char text[32];
    std::snprintf(text, sizeof text, "other bits 0x%08X", unnamed);
    names.emplace_back(text);
  }
  return names;
}

std::string AttributeWords(UINT32 attributes) {
  std::string words;
  for (const std::string& name : AttributeNames(attributes)) {
    words += (words.empty() ? "" : ", ") + name;
  }
  return words.empty() ? "none" : words;
}

std::string SetupFileName() {
  std::string name;
  for (const CHAR16* c = SetupVariable.Name; *c != 0; ++c) {
    name += static_cast<char>(*c);
  }
  const EFI_GUID& g = *SetupVariable.Guid;
  char guid[40];
  std::snprintf(guid, sizeof guid, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return name + "-" + guid;
}

} // namespace ec_setup
