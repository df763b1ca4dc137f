// SPDX-License-Identifier: BSD-2-Clause-Patent
// How busy the EC and its flash are, as the command line sets it: status
// reads that still show the EC busy before it takes each byte and before each
// reply is ready, and flash status reads that still show busy after each
// erase and each word program. Also the bus cost of one port access.
#pragma once

#include <cstdint>
#include <string>

#include "sim/platform.h"

namespace ec_run {

// Upper bounds on the counts, in status reads. A status read costs about a
// microsecond on the bus, a flash status read through the EC six port
// accesses: 100 reads is an EC that takes 100 us per byte, 100,000 a 1 KiB
// erase of 0.6 s, 100 a word program of 600 us, all slower than any working
// part; a run at every bound still finishes in minutes.
inline constexpr unsigned kMostEcBusyReads = 100;
inline constexpr unsigned kMostEraseBusyReads = 100'000;
inline constexpr unsigned kMostProgramBusyReads = 100;
inline constexpr uint64_t kNsPerUs = 1000;
inline constexpr uint64_t kDefaultIoNs = kNsPerUs;   // 1 us: one ISA/LPC I/O cycle
inline constexpr uint64_t kMostIoNs = 1'000'000'000; // 1 s

struct BusySettings {
  unsigned ec_input = 0;  // --ec-busy input=N
  unsigned ec_output = 0; // --ec-busy output=N
  unsigned flash_erase = 0;
  unsigned flash_program = 0;
  [[nodiscard]] bool any() const {
    return ec_input != 0 || ec_output != 0 || flash_erase != 0 || flash_program != 0;
  }
};

// "3" (both EC counts) or "input=3,output=2" (either or both). UsageError
// when malformed or out of range.
void ParseEcBusy(const std::string& text, BusySettings& busy);
// "erase=40,program=2" (either or both).
void ParseFlashBusy(const std::string& text, BusySettings& busy);
// Microseconds per port access, to the nanosecond: "1", "0.25".
uint64_t ParseIoNs(const std::string& text);

// The EC and flash of `platform` made this busy, with a port-access limit
// that lets the longest such update finish but still stops a wait that never
// ends. Returns the matching instruction budget for the emulated CPU.
uint64_t ApplyBusy(const BusySettings& busy, sim::PlatformConfig& platform);

} // namespace ec_run
