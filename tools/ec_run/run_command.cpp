// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/run_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "sim/expectation.h"
#include "sim/hex_text.h"
#include "tools/ec_run/flash_image.h"
#include "tools/ec_run/flash_watch.h"
#include "tools/ec_run/outcome.h"
#include "tools/ec_run/port_census.h"
#include "tools/ec_run/progress_line.h"
#include "tools/ec_run/report_text.h"
#include "tools/ec_run/trace_csv.h"
#include "tools/ec_run/update_time.h"
#include "tools/image_bench/emulated_runner.h"
#include "tools/image_bench/image_paths.h"

namespace ec_run {

namespace {

// With the trace on stdout, everything else goes to stderr.
class HumanOutputToStderr {
public:
  explicit HumanOutputToStderr(bool on)
      : saved_(on ? std::cout.rdbuf(std::cerr.rdbuf()) : nullptr) {}
  ~HumanOutputToStderr() {
    if (saved_ != nullptr) {
      std::cout.rdbuf(saved_);
    }
  }
  HumanOutputToStderr(const HumanOutputToStderr&) = delete;
  HumanOutputToStderr& operator=(const HumanOutputToStderr&) = delete;

private:
  std::streambuf* saved_;
};

std::string ImagePath(const Options& options, sim::Driver driver) {
  return options.image ? *options.image : image_bench::DriverImagePath(driver);
}

void PrintExchange(const sim::PortLog& log) {
  std::cout << "port exchange (" << log.size() << " accesses):\n";
  for (const sim::PortAccess& access : log) {
    std::cout << "  " << sim::Describe(access) << "   " << KindName(access) << '\n';
  }
}

void PrintOutcome(const sim::Expectation& expected, const std::optional<sim::Ending>& seen,
                  const std::vector<std::string>& faults) {
  const std::string what = seen ? sim::EndingName(*seen) : "no ending (the run was stopped)";
  std::cout << "outcome        " << what;
  if (seen == expected.ending) {
    std::cout << ", as expected";
  } else {
    std::cout << ", expected " << sim::EndingName(expected.ending);
  }
  std::cout << (faults.empty() ? "; every check passes\n"
                               : "; " + std::to_string(faults.size()) + " check(s) fail\n");
}

size_t BytesDiffering(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t differing = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    differing += a[i] != b[i] ? 1 : 0;
  }
  return differing;
}

// boot_flash empty: the EC image alone; flash_line: the summary line that
// names a boot-flash image.
int RunAndReport(sim::Scenario scenario, const Options& options, std::vector<uint8_t> boot_flash,
                 const std::string& flash_line) {
  const std::string image_path = ImagePath(options, scenario.driver);
  const std::vector<uint8_t> image = LoadDriverImage(image_path);
  // Opened only once every input is known good, before anything runs.
  std::unique_ptr<TraceCsv> trace;
  if (options.trace) {
    trace = std::make_unique<TraceCsv>(*options.trace, options.trace_blocks, options.io_ns);
  }
  const HumanOutputToStderr redirect(options.trace == "-");
  const bool colour = !options.trace && StdoutHasColour();
  const bool busy = options.busy.any(); // waits vary: no access-by-access comparison
  const bool updater = scenario.driver == sim::Driver::Updater;
  FlashWatch flash(scenario.platform.ec_image);
  ProgressLine progress(stderr);
  flash.on_change = [&](const FlashWatch& f) { progress.Show(f.erased(), f.verified()); };

  image_bench::MachineOptions machine;
  machine.instruction_budget = ApplyBusy(options.busy, scenario.platform);
  machine.boot_flash = std::move(boot_flash);
  machine.keep_port_log = !(busy && updater); // a guard run shows its exchange
  bool console_shown = false;
  machine.on_console = [&](const sim::ConsoleOutput& out) {
    progress.Finish(); // a message starts on a line of its own
    std::cout << ConsoleLine(out, colour) << std::endl;
    console_shown = true;
  };
  machine.on_port = [&](const sim::PortAccess& access, uint64_t clock_us) {
    if (updater) {
      flash.See(access);
    }
    if (trace) {
      trace->See(access, clock_us);
    }
  };
  std::cout << "scenario " << scenario.name << ": " << scenario.summary << "\nimage    "
            << image_path << '\n'
            << flash_line << '\n';
  const auto start = std::chrono::steady_clock::now();
  const image_bench::EmulatedRun run = image_bench::RunImage(scenario, image, std::move(machine));
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  progress.Finish();

  if (trace) {
    trace->Finish();
  }
  sim::Expectation expected = sim::Expect(scenario);
  if (busy) {
    expected.trace = run.record.log; // waits vary; the models flag every breach
  }
  const std::vector<std::string> faults = sim::Check(scenario, expected, run.record);
  if (console_shown) {
    std::cout << '\n';
  }
  if (!updater) {
    PrintExchange(run.record.log);
  }
  PrintOutcome(expected, ObservedEnding(scenario, run.record, flash), faults);
  if (!run.record.stopped.empty()) {
    std::cout << "stopped        " << run.record.stopped << '\n';
  }
  if (updater) {
    std::cout << "blocks         " << flash.verified() << " of " << kEcBlocks << " verified\n";
  }
  const RunCost cost{run.record.accesses, run.record.virtual_us, options.io_ns,
                     updater && flash.verified() == kEcBlocks};
  std::cout << "port accesses  " << AccessesText(cost) << '\n';
  std::cout << "virtual time   " << Seconds(run.record.virtual_us) << '\n';
  std::cout << "update time    " << UpdateTimeText(cost) << '\n';
  if (trace) {
    std::cout << "trace          " << Grouped(trace->lines()) << " lines to " << *options.trace
              << '\n';
  }
  if (updater) {
    const size_t differing = BytesDiffering(run.record.flash_after, scenario.platform.ec_image);
    const bool untouched = run.record.flash_after == scenario.platform.flash_before;
    std::cout << "EC flash       "
              << (differing == 0 ? "equals the EC image"
                                 : "differs from the EC image in " + Grouped(differing) + " bytes")
              << (untouched && differing != 0 ? " (left as it was)" : "") << '\n';
  }
  char timing[64];
  std::snprintf(timing, sizeof timing, " in %.2f s", took.count());
  std::cout << "emulated       " << Grouped(run.instructions) << " instructions" << timing << '\n';
  for (const std::string& fault : faults) {
    std::cerr << "check failed: " << fault << '\n';
  }
  return faults.empty() ? 0 : 1;
}

} // namespace

std::vector<uint8_t> LoadDriverImage(const std::string& path) {
  std::vector<uint8_t> file = ReadInputFile(path);
  try {
    image_bench::ParsePeImage(file);
  } catch (const image_bench::ImageError& e) {
    throw InputError(path + ": " + e.what());
  }
  return file;
}

sim::ImageSettings LoadImageSettings(const std::string& image_path) {
  try {
    return image_bench::ImageSettingsOf(image_path);
  } catch (const image_bench::ImageError& e) {
    throw InputError(e.what());
  }
}

ChosenRun ChooseRun(const Options& options) {
  ChosenRun chosen;
  if (options.command == Command::Guard) {
    chosen.scenario =
        sim::GuardScenario("guard",
                           "guard enabled, threshold " + std::to_string(options.threshold) +
                               ", EC register 0x93 reads " + std::to_string(options.reading),
                           1, options.threshold, options.reading);
  } else {
    const sim::Scenario* found = sim::FindScenario(options.scenario);
    if (found == nullptr) {
      throw UsageError("no scenario named '" + options.scenario + "' (see --list)");
    }
    chosen.scenario = *found;
  }
  sim::Scenario& scenario = chosen.scenario;
  scenario.platform.image = LoadImageSettings(ImagePath(options, scenario.driver));
  if (options.ec_image) {
    scenario.platform.ec_image = LoadEcImage(*options.ec_image);
  } else if (options.flash_image) {
    chosen.flash_image =
        LoadFlashImage(*options.flash_image, scenario.platform.image.ec_image_base);
    scenario.platform.ec_image = chosen.flash_image->ec_image;
  }
  if (!options.keys.empty()) {
    scenario.keys = options.keys;
  }
  return chosen;
}

int RunScenario(const Options& options) {
  ChosenRun chosen = ChooseRun(options);
  std::vector<uint8_t> boot_flash;
  std::string flash_line;
  if (chosen.flash_image) {
    const FlashImage& flash = *chosen.flash_image;
    boot_flash = flash.bytes;
    flash_line = "flash    " + *options.flash_image + ": " + Grouped(boot_flash.size()) +
                 " bytes at " + sim::Hex(flash.mapping.base) + ", EC image from file offset " +
                 sim::Hex(flash.mapping.ec_offset) + "\n";
  }
  return RunAndReport(std::move(chosen.scenario), options, std::move(boot_flash), flash_line);
}

int RunGuard(const Options& options) {
  return RunAndReport(ChooseRun(options).scenario, options, {}, "");
}

int ListScenarios() {
  for (const sim::Scenario& s : sim::Catalogue()) {
    std::printf("%-22s %-7s %s\n", s.name.c_str(),
                s.driver == sim::Driver::Updater ? "updater" : "guard", s.summary.c_str());
  }
  return 0;
}

} // namespace ec_run
