// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/progress_line.h"

#include <unistd.h>

#include "tools/ec_run/outcome.h"

namespace ec_run {

namespace {
constexpr unsigned kBlocksPerLoggedLine = 16;
}

ProgressLine::ProgressLine(std::FILE* to) : to_(to), terminal_(isatty(fileno(to)) != 0) {}

void ProgressLine::Show(unsigned erased, unsigned verified) {
  const bool block_done = verified != last_verified_;
  last_erased_ = erased;
  last_verified_ = verified;
  if (terminal_) {
    std::fputc('\r', to_);
    Print(erased, verified);
    open_ = true;
  } else if (block_done && verified % kBlocksPerLoggedLine == 0) {
    Print(erased, verified);
    std::fputc('\n', to_);
    pending_ = false;
  } else {
    pending_ = true;
  }
}

void ProgressLine::Finish() {
  if (open_) {
    std::fputc('\n', to_);
    open_ = false;
  } else if (pending_) {
    Print(last_erased_, last_verified_);
    std::fputc('\n', to_);
    pending_ = false;
  }
  std::fflush(to_);
}

void ProgressLine::Print(unsigned erased, unsigned verified) {
  std::fprintf(to_, "EC flash: %3u/%u blocks erased, %3u/%u verified", erased, kEcBlocks, verified,
               kEcBlocks);
  std::fflush(to_);
}

} // namespace ec_run
