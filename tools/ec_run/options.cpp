// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "tools/ec_run/number_text.h"
#include "tools/ec_run/trace_csv.h"

namespace ec_run {

namespace {

constexpr double kMicrosecondsPerSecond = 1e6;
constexpr double kLatestKeySeconds = 3600; // far past any prompt; keeps the clock in range

uint8_t ParseByte(const std::string& option, const std::string& text) {
  const std::optional<uint64_t> value = ParseNumber(text);
  if (!value || *value > 0xFF) {
    throw UsageError(option + " wants a byte (0..255 or 0x00..0xFF), not '" + text + "'");
  }
  return static_cast<uint8_t>(*value);
}

// A setting given twice is a command line that means two things.
void Once(std::vector<std::string>& given, const std::string& option) {
  if (std::find(given.begin(), given.end(), option) != given.end()) {
    throw UsageError(option + " given twice");
  }
  given.push_back(option);
}

// Under the real firmware the drivers come from the firmware volume and the
// bus runs at the emulated machine's pace: what only the emulated CPU has
// does not apply.
void CheckFirmwareFits(const Options& o, const std::vector<std::string>& given) {
  const char* refused = nullptr;
  if (o.command == Command::Bench) {
    refused = "bench (it measures the emulated CPU)";
  } else if (o.image || o.guard_image) {
    refused = "--image and --guard-image (the drivers come from the firmware volume built from "
              "build/image)";
  } else if (std::find(given.begin(), given.end(), "--io-us") != given.end()) {
    refused = "--io-us (the port accesses take what the emulated bus takes)";
  } else if (o.profile) {
    refused = "--profile (it counts the emulated CPU's instructions)";
  }
  if (refused != nullptr) {
    throw UsageError(std::string(refused) + " does not apply under firmware");
  }
}

// Settings that make sense only for some commands.
void CheckFits(const Options& o, const std::vector<std::string>& given) {
  if (o.firmware_plan) {
    CheckFirmwareFits(o, given);
  }
  const auto has = [&](const char* option) {
    return std::find(given.begin(), given.end(), option) != given.end();
  };
  if (o.flash_image && o.ec_image) {
    throw UsageError("--flash-image and --ec-image exclude each other: each gives the EC image");
  }
  if (has("--trace-blocks") && !o.trace) {
    throw UsageError("--trace-blocks needs --trace FILE");
  }
  for (const std::string& option : given) {
    const bool update_only =
        option == "--flash-image" || option == "--flash-busy" || option == "--trace-blocks";
    if (o.command == Command::Bench) {
      throw UsageError(option + " belongs to a run, not to bench");
    }
    if (o.command == Command::Guard && update_only) {
      throw UsageError(option + " belongs to an update run, not to guard");
    }
  }
}

class Arguments {
public:
  explicit Arguments(const std::vector<std::string>& args) : args_(args) {}
  [[nodiscard]] bool done() const { return next_ == args_.size(); }
  const std::string& Next() { return args_[next_++]; }
  const std::string& Value(const std::string& option) {
    if (done()) {
      throw UsageError(option + " needs a value");
    }
    return Next();
  }

private:
  const std::vector<std::string>& args_;
  size_t next_ = 0;
};

} // namespace

sim::KeyStroke ParseKey(const std::string& text) {
  const size_t at = text.find('@');
  const std::string seconds = at == std::string::npos ? "" : text.substr(at + 1);
  double value = -1;
  const auto [end, error] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), value);
  if (at != 1 || static_cast<unsigned char>(text[0]) >= 0x80 || seconds.empty() ||
      error != std::errc() || end != seconds.data() + seconds.size() || !(value >= 0) ||
      value > kLatestKeySeconds) {
    throw UsageError("--key wants CHAR@SECONDS, such as q@2.5, not '" + text + "'");
  }
  return sim::KeyStroke{static_cast<uint64_t>(std::llround(value * kMicrosecondsPerSecond)),
                        static_cast<char16_t>(text[0])};
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  Arguments in(args);
  bool threshold_given = false;
  bool reading_given = false;
  std::vector<std::string> given; // the run settings below, each at most once
  while (!in.done()) {
    const std::string& arg = in.Next();
    if (arg == "--help" || arg == "-h") {
      o.command = Command::Help;
    } else if (arg == "--list") {
      o.command = Command::List;
    } else if (arg == "guard" || arg == "bench") {
      if (o.command != Command::Run) {
        throw UsageError("'" + arg + "' cannot be combined with another command");
      }
      o.command = arg == "guard" ? Command::Guard : Command::Bench;
    } else if (arg == "firmware-plan") {
      Once(given, arg);
      o.firmware_plan = in.Value(arg);
    } else if (arg == "--scenario") {
      o.scenario = in.Value(arg);
    } else if (arg == "--image") {
      o.image = in.Value(arg);
    } else if (arg == "--guard-image") {
      o.guard_image = in.Value(arg);
    } else if (arg == "--ec-image") {
      o.ec_image = in.Value(arg);
    } else if (arg == "--key") {
      o.keys.push_back(ParseKey(in.Value(arg)));
    } else if (arg == "--threshold") {
      o.threshold = ParseByte(arg, in.Value(arg));
      threshold_given = true;
    } else if (arg == "--register") {
      o.reading = ParseByte(arg, in.Value(arg));
      reading_given = true;
    } else if (arg == "--profile") {
      o.profile = true;
    } else if (arg == "--flash-image") {
      Once(given, arg);
      o.flash_image = in.Value(arg);
    } else if (arg == "--ec-busy") {
      Once(given, arg);
      ParseEcBusy(in.Value(arg), o.busy);
    } else if (arg == "--flash-busy") {
      Once(given, arg);
      ParseFlashBusy(in.Value(arg), o.busy);
    } else if (arg == "--io-us") {
      Once(given, arg);
      o.io_ns = ParseIoNs(in.Value(arg));
    } else if (arg == "--trace") {
      Once(given, arg);
      o.trace = in.Value(arg);
    } else if (arg == "--trace-blocks") {
      Once(given, arg);
      o.trace_blocks = ParseBlockList(in.Value(arg));
    } else {
      throw UsageError("unknown argument '" + arg + "' (see --help)");
    }
  }
  if (o.command == Command::Guard && (!threshold_given || !reading_given)) {
    throw UsageError("guard needs --threshold N and --register N");
  }
  if (o.command != Command::Guard && (threshold_given || reading_given)) {
    throw UsageError("--threshold and --register belong to the guard command");
  }
  CheckFits(o, given);
  // The prompt takes one key per poll in the order typed.
  std::stable_sort(
      o.keys.begin(), o.keys.end(),
      [](const sim::KeyStroke& a, const sim::KeyStroke& b) { return a.at_us < b.at_us; });
  return o;
}

std::string UsageText() {
  return R"(usage: ec_run [options]                 run a scenario on the real updater image
       ec_run guard --threshold N --register N [--image FILE] [--ec-busy ...]
                    [--io-us US] [--trace FILE]
       ec_run bench [--image FILE] [--guard-image FILE] [--profile]
       ec_run --list | --help
       (./run firmware [options]: the same run under the real firmware in
       QEMU; ./run firmware --help)

Runs the delivered driver images (PE32+) on an emulated x86-64 CPU against
the simulated platform: the EC behind ports 0x62/0x66, its serial flash, the
boot flash holding the EC image at 0xFF660000, and the firmware services.
Time is virtual: the 5 s prompt and the pauses cost no waiting.

Run (the default command):
  --scenario NAME    the situation to run (default: update); see --list.
                     Guard scenarios run ec_threshold_guard.efi.
  --list             list the scenarios and what each shows
  --image FILE       run this driver image instead of the built one
  --ec-image FILE    put this EC image in the boot flash; exactly 131072 bytes
  --flash-image FILE a whole boot-flash image, mapped to end at 4 GiB: a power
                     of two in size, 16 MiB to 64 MiB; the updater reads the
                     EC image at 0xFF660000 inside it; refused when that
                     region is erased (all 0xFF). Excludes --ec-image.
  --key C@SECONDS    the key C is typed at SECONDS of virtual time (q@2.5);
                     repeatable; replaces the scenario's own keys
  --ec-busy N        status reads that show the EC busy before it takes each
                     byte and before each reply is ready, 0..100; or
                     input=N,output=M to set the two apart
  --flash-busy erase=N,program=M
                     flash status reads that still show busy after each erase
                     (0..100000) and after each word program (0..100)
  --io-us US         bus cost of one port access in microseconds, above 0 and
                     to 3 decimals (default 1)
  --trace FILE       every port access as CSV (index, virtual time, in/out,
                     port, value, kind, step, detail); "-" is stdout, and the
                     rest of the output then goes to stderr. Virtual time is
                     the firmware's clock plus --io-us per access before it.
  --trace-blocks L   trace only these blocks (0,127 or 0-3) besides the
                     handshake, identification, finish and restart

  Prints the console rows as they appear (yellow on red on a colour
  terminal), a progress line for the 128 blocks on stderr, and a summary:
  outcome against the expected one, blocks verified, port accesses (beside
  the never-busy minimum of a full update), virtual time, the update time at
  --io-us per access, whether the EC flash now equals the image.
  With --ec-busy or --flash-busy the port sequence is not compared access by
  access; the EC and flash models still flag every byte written while the EC
  is busy, every reply read before it is ready and every flash command while
  the flash is busy.

guard --threshold N --register N
  Runs ec_threshold_guard.efi with the guard enabled, threshold N and EC
  register 0x93 reading N (0..255 or 0x00..0xFF); prints the outcome and the
  port exchange.

bench
  The performance report: image sizes on disk and loaded, the port accesses
  of a full update by kind against the counts the block algorithm requires,
  emulated instructions per port access, the update time implied at 1 us per
  port access, the guard's cost, and pass/fail lines for the budgets.
  --profile also counts instructions per function (slower).

Exit status: 0 the run matched what the protocol requires (bench: every
budget met); 1 it did not; 2 a bad command line, an unusable input file or a
trace file that cannot be written (then nothing runs).
)";
}

std::string FirmwareUsageText() {
  return R"(usage: ./run firmware [options]
       ./run firmware guard --threshold N --register N [--ec-busy ...] [--trace FILE]
       ./run firmware --list | --help

Boots the real firmware (Debian's OVMF with both drivers built into its DXE
volume) in QEMU on a board's 16 MiB boot flash: the EC image at 0xFF660000,
"Setup" written into the variable store, the EC model behind ports 0x62/0x66.
The first run on a machine builds the project's QEMU (about 6 minutes).
Shows the console, a progress line for the 128 blocks on stderr (counted from
the EC's port log as the run goes), and the summary of ./run, plus "Setup"
after the run and the boot after the restart.

  --scenario NAME    as ./run (see --list); second-trigger and
                     skip-second-trigger do not apply (the firmware installs
                     the trigger once)
  --ec-image FILE    the 128 KiB EC image for the boot flash
  --flash-image FILE an integrator's 16 MiB image: its EC region and all below
                     the top 4 MiB are kept, the top 4 MiB become the test
                     firmware; refused when its EC region is erased (all
                     0xFF). Excludes --ec-image.
  --key C@SECONDS    the key C, SECONDS after the prompt appears on the
                     console (q@2.5); repeatable; replaces the scenario's keys.
                     Keys typed at the terminal go to the firmware too (the
                     expected ending stays the scenario's).
  --ec-busy, --flash-busy   as ./run
  --trace FILE       every port access of the run as ./run's CSV ("-": stdout)
  --trace-blocks L   trace only these blocks
  guard --threshold N --register N   the guard enabled with threshold N, EC
                     register 0x93 reading N

--image, --guard-image, --io-us, --profile and bench do not apply.
Exit status: 0 the run ended as the protocol says; 1 it did not; 2 a bad
command line or input file (then nothing boots).
)";
}

} // namespace ec_run
