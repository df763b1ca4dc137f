// SPDX-License-Identifier: BSD-2-Clause-Patent
// The port trace of a run as CSV, one line per port access:
//   index,time_us,dir,port,value,kind,step,detail
// time_us is the virtual time of the access: the firmware's clock (its stalls:
// the prompt, the restart pause) plus the bus cost of every access before it.
// A block list keeps the lines of those blocks' steps and of the steps outside
// any block (handshake, identification, finish, restart).
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "sim/port_log.h"
#include "tools/ec_run/trace_classifier.h"

namespace ec_run {

// "0,127" or "0-3,64": block numbers below kEcBlocks. UsageError otherwise.
std::set<unsigned> ParseBlockList(const std::string& text);

class TraceCsv {
public:
  // Opens `path` ("-": standard output) at once, so that a file that cannot be
  // written stops the run before it starts (InputError).
  TraceCsv(const std::string& path, std::set<unsigned> blocks, uint64_t io_ns);
  ~TraceCsv();
  TraceCsv(const TraceCsv&) = delete;
  TraceCsv& operator=(const TraceCsv&) = delete;

  void See(const sim::PortAccess& access, uint64_t clock_us);
  // An access at a time measured elsewhere (a recorded port log).
  void SeeAt(const sim::PortAccess& access, uint64_t time_ns);
  // Writes what is still held and flushes; throws if the writes failed.
  void Finish();
  [[nodiscard]] uint64_t lines() const { return lines_; }

private:
  void Write(const TracedAccess& r);

  std::string path_;
  FILE* file_ = nullptr;
  std::set<unsigned> blocks_; // empty: every block
  uint64_t io_ns_;
  uint64_t accesses_ = 0;
  uint64_t lines_ = 0;
  TraceClassifier classifier_;
};

} // namespace ec_run
