// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/run_record.h"

#include "common/setup_data.h"

namespace sim {

void PrepareFirmware(const Scenario& scenario, FakeFirmware& firmware) {
  if (scenario.setup) {
    firmware.PutVariable(u"Setup", SetupVariableGuid,
                         Variable{scenario.setup_attributes, *scenario.setup});
  }
  firmware.get_variable_error = scenario.get_variable_error;
  for (const KeyStroke& key : scenario.keys) {
    firmware.QueueKey(key);
  }
}

RunRecord Record(const Platform& platform, const FakeFirmware& firmware) {
  RunRecord run;
  run.console = firmware.console();
  run.log = platform.log();
  run.accesses = platform.access_count();
  if (const Variable* setup = firmware.FindVariable(u"Setup", SetupVariableGuid)) {
    run.setup_after = *setup;
  }
  run.flash_after = platform.flash().memory();
  run.reset_port_written = platform.reset_requested();
  run.reset_system = firmware.reset();
  run.virtual_us = firmware.now_us();
  run.open_events = firmware.open_events();
  run.violations = platform.violations();
  return run;
}

} // namespace sim
