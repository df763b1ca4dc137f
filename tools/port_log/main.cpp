// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec_port_log: the port log of the emulated machine's EC device, summarised,
// compared with the protocol's sequence, or written as the port-trace CSV.
// Exit status 0: done (equal), 1: not equal, 2: bad input. See kUsage.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "sim/model_files.h"
#include "sim/scenario.h"
#include "tools/ec_run/input_files.h"
#include "tools/ec_run/number_text.h"
#include "tools/ec_run/options.h"
#include "tools/ec_run/trace_csv.h"
#include "tools/ec_run/update_oracle.h"
#include "tools/port_log/compare.h"
#include "tools/port_log/port_log_file.h"
#include "tools/port_log/summary.h"

namespace {

constexpr int kExitUnequal = 1;
constexpr int kExitBadInput = 2;

constexpr const char* kUsage =
    "usage: ec_port_log summary LOG\n"
    "       ec_port_log compare LOG [--boot N] [--ec-image FILE] [SETTINGS]\n"
    "       ec_port_log csv LOG OUT [--boot N] [--blocks LIST]\n"
    "       ec_port_log block-start BLOCK\n"
    "       ec_port_log ec-image OUT\n"
    "\n"
    "LOG is the EC device's port log (16-byte records: u64 ns, u16 port, u8 kind i/o/r/p,\n"
    "u8 value, u32 0); a reset opens a boot, a power cut ends one. Boots count from 1.\n"
    "summary   JSON on stdout: per boot its accesses, how it began and ended, and for a\n"
    "          boot under 100,000 accesses each port's bytes written and read (hex).\n"
    "compare   boot N (default 1) against the full update's port sequence, for the EC\n"
    "          image FILE (default: the one ec-image writes); with an EC model SETTINGS\n"
    "          file whose EC or flash is busy, the count the protocol predicts for those\n"
    "          waits and every access outside the waits in order. Exit 1 when unequal.\n"
    "csv       boot N as ./run --trace writes it; time_us counts from the reset that\n"
    "          opened the boot (after a power cut: from its first access). OUT '-': stdout.\n"
    "block-start  the index in a never-busy boot where block BLOCK's erase step starts.\n"
    "ec-image  writes the 128 KiB EC image compare expects by default.\n";

struct Arguments {
  std::vector<std::string> positional;
  uint64_t boot = 1;
  std::optional<std::string> blocks;
  std::optional<std::string> ec_image;
};

Arguments Parse(const std::vector<std::string>& args) {
  Arguments a;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--boot" || arg == "--blocks" || arg == "--ec-image") {
      if (i + 1 == args.size()) {
        throw ec_run::UsageError(arg + " wants a value");
      }
      const std::string& value = args[++i];
      if (arg == "--boot") {
        const std::optional<uint64_t> boot = ec_run::ParseNumber(value);
        if (!boot || *boot == 0) {
          throw ec_run::UsageError("--boot wants a boot number from 1, not '" + value + "'");
        }
        a.boot = *boot;
      } else {
        (arg == "--blocks" ? a.blocks : a.ec_image) = value;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw ec_run::UsageError("unknown option '" + arg + "'");
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

void Want(const Arguments& a, size_t least, size_t most, const std::string& command) {
  if (a.positional.size() < least || a.positional.size() > most) {
    throw ec_run::UsageError(command + ": wrong number of arguments (ec_port_log --help)");
  }
}

int Csv(const Arguments& a) {
  const std::string& out = a.positional[1];
  std::set<unsigned> blocks;
  try {
    blocks = a.blocks ? ec_run::ParseBlockList(*a.blocks) : blocks;
  } catch (const ec_run::UsageError&) { // its message names ./run's option
    throw ec_run::UsageError("--blocks wants block numbers 0.." +
                             std::to_string(sim::kEcBlocks - 1) +
                             " as a list (0,127) or ranges (0-3), not '" + *a.blocks + "'");
  }
  const std::vector<port_log::Boot> boots = port_log::ReadPortLog(a.positional[0]);
  const port_log::Boot& boot = port_log::BootNumber(boots, a.boot);
  ec_run::TraceCsv csv(out, blocks, 0);
  for (size_t i = 0; i < boot.accesses.size(); ++i) {
    csv.SeeAt(boot.accesses[i], boot.times_ns[i] - boot.origin_ns());
  }
  csv.Finish();
  std::fprintf(out == "-" ? stderr : stdout, "%llu lines, time_us from the %s of boot %llu\n",
               static_cast<unsigned long long>(csv.lines()),
               boot.reset_ns ? "reset" : "first access", static_cast<unsigned long long>(a.boot));
  return 0;
}

int Run(const std::string& command, const Arguments& a) {
  if (command == "summary") {
    Want(a, 1, 1, command);
    std::fputs(port_log::SummaryJson(port_log::ReadPortLog(a.positional[0])).c_str(), stdout);
    return 0;
  }
  if (command == "compare") {
    Want(a, 1, 2, command);
    const ec_run::Oracle oracle = ec_run::OracleFor(
        a.positional.size() == 2 ? std::optional(a.positional[1]) : std::nullopt, a.ec_image);
    const std::vector<port_log::Boot> boots = port_log::ReadPortLog(a.positional[0]);
    const port_log::Comparison c = port_log::Compare(port_log::BootNumber(boots, a.boot), oracle);
    std::printf("%s\n", c.line.c_str());
    return c.equal ? 0 : kExitUnequal;
  }
  if (command == "csv") {
    Want(a, 2, 2, command);
    return Csv(a);
  }
  if (command == "block-start") {
    Want(a, 1, 1, command);
    const std::optional<uint64_t> block = ec_run::ParseNumber(a.positional[0]);
    if (!block || *block >= sim::kEcBlocks) {
      throw ec_run::UsageError("block-start wants a block from 0 to " +
                               std::to_string(sim::kEcBlocks - 1) + ", not '" + a.positional[0] +
                               "'");
    }
    std::printf("%llu\n",
                static_cast<unsigned long long>(ec_run::BlockStart(static_cast<unsigned>(*block))));
    return 0;
  }
  if (command == "ec-image") {
    Want(a, 1, 1, command);
    const std::vector<uint8_t>& image = sim::FindScenario("update")->platform.ec_image;
    const std::string why = sim::WriteWhole(
        a.positional[0],
        std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    if (!why.empty()) {
      throw ec_run::InputError("cannot write the EC image: " + why);
    }
    return 0;
  }
  throw ec_run::UsageError("unknown command '" + command + "' (ec_port_log --help)");
}

} // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (args.empty()) {
      throw ec_run::UsageError("no command (ec_port_log --help)");
    }
    return Run(args[0], Parse(args));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ec_port_log: %s\n", e.what());
  }
  return kExitBadInput;
}
