// SPDX-License-Identifier: BSD-2-Clause-Patent
// The progress of the 128 blocks on stderr: one line rewritten in place on a
// terminal, a line every few blocks into a file or pipe.
#pragma once

#include <cstdio>

namespace ec_run {

class ProgressLine {
public:
  explicit ProgressLine(std::FILE* to);
  void Show(unsigned erased, unsigned verified);
  void Finish();

private:
  void Print(unsigned erased, unsigned verified);

  std::FILE* to_;
  bool terminal_;
  bool open_ = false;    // terminal: a line is on screen without its newline
  bool pending_ = false; // file: the latest state is not written yet
  unsigned last_erased_ = 0;
  unsigned last_verified_ = 0;
};

} // namespace ec_run
