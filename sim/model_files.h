// SPDX-License-Identifier: BSD-2-Clause-Patent
// The files the EC model keeps outside itself: the EC flash's contents, which
// outlive a power cycle, and the report. Both are written whole to a temporary
// file and renamed, so a reader never sees half of one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The flash contents saved by the last power-off, or empty when the file does
// not exist yet. SettingsError for a file that is not exactly kFlashSize bytes
// or cannot be read; `line` is the settings line that named it.
std::vector<uint8_t> ReadFlashFile(const std::string& path, unsigned line);

// Writes `bytes` to path + ".tmp" and renames it over `path`. Returns an empty
// string, or why it failed.
std::string WriteWhole(const std::string& path, std::string_view bytes);

} // namespace sim
