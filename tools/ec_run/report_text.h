// SPDX-License-Identifier: BSD-2-Clause-Patent
// Text helpers shared by the run summary and the performance report.
#pragma once

#include <cstdint>
#include <string>

#include "sim/fake_firmware.h"

namespace ec_run {

// 4187200 -> "4,187,200".
std::string Grouped(uint64_t value);
// Virtual microseconds as seconds with three decimals: "8.000 s".
std::string Seconds(uint64_t microseconds);
// Console text (UTF-16) for a UTF-8 terminal.
std::string Utf8(const std::u16string& text);

// Whether stdout should get colours: a terminal that is not "dumb", and
// NO_COLOR not set.
bool StdoutHasColour();
// One console message as the user sees it: when, which row, the text in the
// message's colours (or plain).
std::string ConsoleLine(const sim::ConsoleOutput& output, bool colour);

} // namespace ec_run
