// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/image_bench/emulated_runner.h"

#include "common/setup_data.h"
#include "sim/run_record.h"

namespace image_bench {

EmulatedRun RunImage(const sim::Scenario& scenario, std::span<const uint8_t> image_file,
                     MachineOptions options) {
  EmulatedMachine machine(scenario.platform, image_file, std::move(options));
  sim::PrepareFirmware(scenario, machine.firmware());
  const std::optional<uint64_t> entry_status = machine.CallEntry();
  if (scenario.driver == sim::Driver::Updater) {
    for (int i = 0; i < scenario.trigger_installs && !machine.halted(); ++i) {
      for (const sim::Notification& due :
           machine.firmware().InstallProtocol(UpdateTriggerProtocolGuid)) {
        machine.Call(due.function, due.event, due.context);
      }
    }
  }

  EmulatedRun run;
  run.record = sim::Record(machine.platform(), machine.firmware());
  run.halt = machine.halt();
  if (entry_status) {
    run.record.entry_status = *entry_status;
  }
  switch (run.halt.kind) {
  case HaltKind::Stopped:
    run.record.stopped = run.halt.reason;
    break;
  case HaltKind::Restart:
  case HaltKind::PowerOff:
    // Nothing the firmware held survives the machine going down, open events
    // included; the event is closed only on paths that go on booting.
    run.record.open_events = 0;
    break;
  case HaltKind::None:
    break;
  }
  run.instructions = machine.instructions();
  run.image = machine.image();
  run.profile = machine.profile();
  return run;
}

sim::RunRecord RunEmulated(const sim::Scenario& scenario, const std::string& image_path) {
  return RunImage(scenario, ReadFileBytes(image_path)).record;
}

} // namespace image_bench
