// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/bench_report.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/ec_run/link_map.h"
#include "tools/ec_run/port_census.h"
#include "tools/ec_run/report_text.h"
#include "tools/ec_run/run_command.h"
#include "tools/image_bench/emulated_runner.h"
#include "tools/image_bench/image_paths.h"

namespace ec_run {

namespace {

constexpr uint64_t kUpdaterDiskBudget = 8 * 1024;
constexpr uint64_t kGuardDiskBudget = 2 * 1024;
constexpr double kInstructionsPerAccessBudget = 5.0;
// Each EC command byte and each EC reply: a status read, a progress write and
// the byte itself, with an EC that is never busy.
constexpr uint64_t kAccessesPerEcByte = 3;
constexpr uint64_t kLpcAccessUs = 1;
constexpr uint64_t kPromptUs = 5'000'000;
constexpr uint64_t kRestartPauseUs = 3'000'000;
constexpr size_t kRoutinesShown = 12;

struct Budgets {
  int failed = 0;
  void Line(bool pass, const std::string& what) {
    std::printf("  %s  %s\n", pass ? "PASS" : "FAIL", what.c_str());
    failed += pass ? 0 : 1;
  }
};

struct Measured {
  image_bench::EmulatedRun run;
  double seconds = 0;
};

Measured Measure(const std::string& scenario_name, const std::vector<uint8_t>& image, bool profile,
                 const sim::ImageSettings& settings = {}) {
  image_bench::MachineOptions options;
  options.profile = profile;
  sim::Scenario scenario = *sim::FindScenario(scenario_name);
  scenario.platform.image = settings;
  const auto start = std::chrono::steady_clock::now();
  Measured m{image_bench::RunImage(scenario, image, options)};
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return m;
}

std::string MapPath(const std::string& image_path) {
  const std::string suffix = ".efi";
  const bool efi =
      image_path.size() > suffix.size() &&
      image_path.compare(image_path.size() - suffix.size(), suffix.size(), suffix) == 0;
  return (efi ? image_path.substr(0, image_path.size() - suffix.size()) : image_path) + ".map";
}

void ImageLine(Budgets& budgets, const std::string& path, const std::vector<uint8_t>& file,
               uint64_t budget) {
  const image_bench::PeImage image = image_bench::ParsePeImage(file);
  std::printf("  %-40s %7s bytes on disk, %7s loaded (SizeOfImage)\n", path.c_str(),
              Grouped(file.size()).c_str(), Grouped(image.size_of_image).c_str());
  budgets.Line(file.size() <= budget,
               "on disk " + Grouped(file.size()) + " <= " + Grouped(budget) + " bytes");
}

void CensusTable(Budgets& budgets, const PortCensus& seen, const PortCensus& required) {
  struct Row {
    const char* kind;
    uint64_t seen, required;
  };
  const Row rows[] = {
      {"command writes (out 0x66)", seen.command_writes, required.command_writes},
      {"data writes (out 0x62)", seen.data_writes, required.data_writes},
      {"data reads (in 0x62)", seen.data_reads, required.data_reads},
      {"status reads (in 0x66)", seen.status_reads, required.status_reads},
      {"progress writes (out 0x80)", seen.progress_writes, required.progress_writes},
      {"other (out 0xCF9)", seen.other, required.other},
      {"total", seen.total(), required.total()}};
  std::printf("  %-28s %12s %12s\n", "kind", "measured", "required");
  for (const Row& r : rows) {
    std::printf("  %-28s %12s %12s%s\n", r.kind, Grouped(r.seen).c_str(),
                Grouped(r.required).c_str(), r.seen == r.required ? "" : "   <- differs");
  }
  const EcTraffic block = BlockTraffic();
  const EcTraffic update = TrafficOf(required);
  const uint64_t by_formula =
      kAccessesPerEcByte * (update.commands + update.replies) + required.other;
  std::printf("\n  formula: each EC command byte and each EC reply costs 3 accesses (status\n"
              "  read, progress write, the byte itself). One block = %s command bytes +\n"
              "  %s replies; a full update = 0xDC + 0x33 + idle poll + identification +\n"
              "  128 blocks + 0xFE = %s + %s, so 3 x %s + 1 (0xCF9) = %s accesses.\n",
              Grouped(block.commands).c_str(), Grouped(block.replies).c_str(),
              Grouped(update.commands).c_str(), Grouped(update.replies).c_str(),
              Grouped(update.commands + update.replies).c_str(), Grouped(by_formula).c_str());
  budgets.Line(by_formula == required.total(), "formula gives " + Grouped(by_formula) + " = " +
                                                   Grouped(required.total()) +
                                                   " accesses of the derived port sequence");
  budgets.Line(seen == required, "every kind measured equals the required count");
}

void Profile(const Measured& update, const std::string& map_path) {
  uint64_t per_instruction = 0;
  for (uint64_t count : update.run.profile) {
    per_instruction += count;
  }
  std::printf("\nWhere the updater's instructions go (--profile, map %s):\n", map_path.c_str());
  // The per-block count also takes in the instructions after the reset write
  // in its block, which never run.
  std::printf("  counted per instruction %s; per block %s (%s after the reset write)\n",
              Grouped(per_instruction).c_str(), Grouped(update.run.instructions).c_str(),
              per_instruction <= update.run.instructions
                  ? ("+" + Grouped(update.run.instructions - per_instruction)).c_str()
                  : "FEWER");
  const double accesses = static_cast<double>(update.run.record.accesses);
  const std::vector<RoutineCost> costs =
      CostByRoutine(update.run.profile, ReadLinkMap(map_path, update.run.image.image_base));
  for (size_t i = 0; i < costs.size() && i < kRoutinesShown; ++i) {
    std::printf("  %14s  %5.2f per access  %s\n", Grouped(costs[i].instructions).c_str(),
                static_cast<double>(costs[i].instructions) / accesses, costs[i].name.c_str());
  }
}

} // namespace

int RunBench(const Options& options) {
  const std::string updater_path =
      options.image ? *options.image : image_bench::DriverImagePath(sim::Driver::Updater);
  const std::string guard_path =
      options.guard_image ? *options.guard_image : image_bench::DriverImagePath(sim::Driver::Guard);
  const std::vector<uint8_t> updater = LoadDriverImage(updater_path);
  const std::vector<uint8_t> guard = LoadDriverImage(guard_path);
  Budgets budgets;

  std::printf("Images\n");
  ImageLine(budgets, updater_path, updater, kUpdaterDiskBudget);
  ImageLine(budgets, guard_path, guard, kGuardDiskBudget);

  const Measured update =
      Measure("update", updater, options.profile, LoadImageSettings(updater_path));
  const sim::RunRecord& record = update.run.record;
  std::printf("\nFull update (scenario \"update\": EC and flash never busy)%s\n",
              record.stopped.empty() ? "" : (" STOPPED: " + record.stopped).c_str());
  CensusTable(budgets, CountPorts(record.log), RequiredForFullUpdate());

  const double per_access =
      static_cast<double>(update.run.instructions) / static_cast<double>(record.accesses);
  std::printf("\nDriver overhead\n  %s instructions emulated in the image for %s port accesses"
              "\n  = %.2f instructions per port access\n",
              Grouped(update.run.instructions).c_str(), Grouped(record.accesses).c_str(),
              per_access);
  char budget_text[96];
  std::snprintf(budget_text, sizeof budget_text, "%.2f <= %.2f instructions per port access",
                per_access, kInstructionsPerAccessBudget);
  budgets.Line(per_access <= kInstructionsPerAccessBudget, budget_text);

  const uint64_t bus_us = record.accesses * kLpcAccessUs;
  std::printf("\nImplied update time at %llu us per port access (LPC)\n"
              "  %s accesses = %s, + %s prompt + %s pause = %s\n",
              static_cast<unsigned long long>(kLpcAccessUs), Grouped(record.accesses).c_str(),
              Seconds(bus_us).c_str(), Seconds(kPromptUs).c_str(), Seconds(kRestartPauseUs).c_str(),
              Seconds(bus_us + kPromptUs + kRestartPauseUs).c_str());

  std::printf("\nGuard at load (whole entry call)\n");
  for (const char* name : {"guard-continue", "guard-power-off"}) {
    const Measured g = Measure(name, guard, false);
    std::printf("  %-16s %6s instructions, %3s port accesses, %s\n", name,
                Grouped(g.run.instructions).c_str(), Grouped(g.run.record.accesses).c_str(),
                g.run.halt.kind == image_bench::HaltKind::PowerOff ? "powered off" : "returned");
  }

  if (options.profile) {
    Profile(update, MapPath(updater_path));
  }
  std::printf("\nEmulation of the full update took %.2f s%s\n", update.seconds,
              options.profile ? " (profiling)" : "");
  std::printf("\nBudgets: %s\n", budgets.failed == 0
                                     ? "all met"
                                     : (std::to_string(budgets.failed) + " not met").c_str());
  return budgets.failed == 0 ? 0 : 1;
}

} // namespace ec_run
