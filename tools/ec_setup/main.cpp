// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec-setup: reads or changes the EC bytes of "Setup" from the running OS.
// See UsageText() or `ec-setup --help`.
#include <iostream>
#include <string>
#include <vector>

#include "tools/ec_setup/run_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return ec_setup::RunEcSetup(args, std::cout, std::cerr, ec_setup::FileIo());
}
