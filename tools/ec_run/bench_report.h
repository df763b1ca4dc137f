// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec_run bench: the performance report of the two delivered images, with the
// budgets as pass/fail lines beside the measured figures.
#pragma once

#include "tools/ec_run/options.h"

namespace ec_run {

int RunBench(const Options& options);

} // namespace ec_run
