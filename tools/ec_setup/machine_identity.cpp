// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/machine_identity.h"

#include <fstream>
#include <sstream>

#include "tools/ec_setup/text_trim.h"

namespace ec_setup {

IdentityRead ReadIdentity(const std::string& dmi_dir) {
  Identity identity;
  for (const IdentityField& field : kIdentityFields) {
    const std::string path = dmi_dir + "/" + field.name;
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    // The kernel ends each value with a newline; firmware often pads with spaces.
    const std::string value = in ? Trimmed(text.str()) : "";
    if (field.required && value.empty()) {
      return {std::nullopt, "no machine identity: " + path + " is missing or empty"};
    }
    identity.values.push_back(value);
  }
  return {identity, ""};
}

std::string IdentityWords(const Identity& identity) {
  std::string words;
  for (size_t i = 0; i < identity.values.size(); ++i) {
    words += (i == 0 ? "" : ", ") + std::string(kIdentityFields[i].name) + " '" +
             identity.values[i] + "'";
  }
  return words;
}

} // namespace ec_setup
