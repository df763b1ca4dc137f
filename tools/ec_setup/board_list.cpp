// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/board_list.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tools/ec_setup/text_trim.h"

namespace ec_setup {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSection = "[machine]";
constexpr const char* kConfigSuffix = ".conf";

std::vector<std::string> ConfigFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() == kConfigSuffix && entry.is_regular_file()) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Checks the entry just finished; the error names the file and line.
std::string Incomplete(const MachineEntry& entry) {
  for (size_t i = 0; i < std::size(kIdentityFields); ++i) {
    if (kIdentityFields[i].required && !entry.values[i]) {
      return entry.where + ": the entry has no " + kIdentityFields[i].name;
    }
  }
  return "";
}

std::optional<size_t> FieldIndex(const std::string& key) {
  for (size_t i = 0; i < std::size(kIdentityFields); ++i) {
    if (key == kIdentityFields[i].name) {
      return i;
    }
  }
  return std::nullopt;
}

// Appends the file's entries to list; false with list.error set when malformed.
bool ReadConfig(const std::string& path, BoardList& list) {
  std::ifstream in(path);
  if (!in) {
    list.error = "cannot read " + path;
    return false;
  }
  list.files.push_back(path);
  std::string raw;
  MachineEntry* entry = nullptr;
  for (int number = 1; std::getline(in, raw); ++number) {
    const std::string line = Trimmed(raw);
    const std::string at = path + " line " + std::to_string(number) + ": ";
    if (line.empty() || line[0] == '#') {
      continue;
    }
    if (line == kSection) {
      if (entry != nullptr && !(list.error = Incomplete(*entry)).empty()) {
        return false;
      }
      list.entries.push_back({path + ":" + std::to_string(number),
                              std::vector<std::optional<std::string>>(std::size(kIdentityFields))});
      entry = &list.entries.back();
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      list.error = at + "expected [machine] or KEY = VALUE";
      return false;
    }
    const std::string key = Trimmed(line.substr(0, equals));
    const std::string value = Trimmed(line.substr(equals + 1));
    const std::optional<size_t> field = FieldIndex(key);
    if (!field) {
      list.error = at + "unknown key '" + key + "'";
    } else if (entry == nullptr) {
      list.error = at + "'" + key + "' before the first [machine]";
    } else if (entry->values[*field]) {
      list.error = at + "'" + key + "' given twice in one entry";
    } else if (value.empty()) {
      list.error = at + "'" + key + "' has no value";
    } else {
      entry->values[*field] = value;
      continue;
    }
    return false;
  }
  return entry == nullptr || (list.error = Incomplete(*entry)).empty();
}

} // namespace

BoardList LoadBoardList(const std::optional<std::string>& config) {
  std::vector<std::string> files;
  if (!config) {
    if (fs::exists(kDefaultConfig)) {
      files.emplace_back(kDefaultConfig);
    }
    const std::vector<std::string> shipped = ConfigFiles(kDefaultConfigDir);
    files.insert(files.end(), shipped.begin(), shipped.end());
  } else if (fs::is_directory(*config)) {
    files = ConfigFiles(*config);
  } else {
    files.push_back(*config);
  }
  BoardList list;
  for (const std::string& file : files) {
    if (!ReadConfig(file, list)) {
      list.entries.clear();
      break;
    }
  }
  return list;
}

const MachineEntry* FindMachine(const BoardList& list, const Identity& identity) {
  for (const MachineEntry& entry : list.entries) {
    bool matches = true;
    for (size_t i = 0; i < entry.values.size(); ++i) {
      matches = matches && (!entry.values[i] || *entry.values[i] == identity.values[i]);
    }
    if (matches) {
      return &entry;
    }
  }
  return nullptr;
}

std::string FileToEdit(const std::optional<std::string>& config) {
  if (config) {
    return *config;
  }
  return std::string(kDefaultConfig) + " (or a *.conf file in " + kDefaultConfigDir + "/)";
}

} // namespace ec_setup
