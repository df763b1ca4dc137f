// SPDX-License-Identifier: BSD-2-Clause-Patent
// Writes the port log of a never-busy full update as the EC device records
// it (the reset at machine creation, the update, the restart's reset), for
// the ec_port_log command-line tests. With CHANGE, access CHANGE's value is
// flipped.   make_port_log PATH [CHANGE]
#include <cstdio>
#include <cstdlib>

#include "sim/expectation.h"
#include "tests/port_log/port_log_writer.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_port_log PATH [CHANGE]\n");
    return 2;
  }
  sim::PortLog update = sim::FullUpdateTrace();
  if (argc == 3) {
    update.at(std::strtoull(argv[2], nullptr, 0)).value ^= 0x01;
  }
  port_log_test::LogWriter log;
  log.Reset();
  log.Accesses(update);
  log.Reset();
  return log.Save(argv[1]) ? 0 : 1;
}
