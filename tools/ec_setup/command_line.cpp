// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/command_line.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <iterator>
#include <vector>

namespace ec_setup {

namespace {

constexpr unsigned kThresholdMax = 0xFF; // the guard compares one EC register byte

struct Verb {
  std::vector<std::string> words;
  Action action;
};

const Verb kVerbs[] = {
    {{"show"}, Action::Show},
    {{"request-update"}, Action::RequestUpdate},
    {{"cancel-update"}, Action::CancelUpdate},
    {{"guard", "on"}, Action::GuardOn},
    {{"guard", "off"}, Action::GuardOff},
};

// Decimal, or hexadecimal after 0x; nothing else.
bool ParseThreshold(const std::string& text, unsigned long& value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
  return first != last && error == std::errc() && end == last;
}

} // namespace

Options ParseCommandLine(std::span<const std::string> args) {
  Options options;
  std::vector<std::string> words;
  const struct {
    const char* name;
    const char* needs;
    std::function<void(const std::string&)> take;
  } valued[] = {
      {"--efivars", "a folder", [&](const std::string& v) { options.efivars = v; }},
      {"--ec-io", "a file", [&](const std::string& v) { options.ec_io = v; }},
      {"--config", "a file or folder", [&](const std::string& v) { options.config = v; }},
      {"--dmi", "a folder", [&](const std::string& v) { options.dmi = v; }},
  };
  const struct {
    const char* name;
    bool& flag;
  } flags[] = {
      {"--dry-run", options.dry_run}, {"--json", options.json}, {"--force", options.force}};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = std::find_if(std::begin(valued), std::end(valued),
                                    [&](const auto& v) { return arg == v.name; });
    const auto flag = std::find_if(std::begin(flags), std::end(flags),
                                   [&](const auto& f) { return arg == f.name; });
    if (value != std::end(valued)) {
      if (++i == args.size()) {
        throw UsageError(arg + " needs " + value->needs);
      }
      value->take(args[i]);
    } else if (flag != std::end(flags)) {
      flag->flag = true;
    } else if (arg == "--help" || arg == "-h" || arg == "--version") {
      options.action = arg == "--version" ? Action::Version : Action::Help;
      return options;
    } else if (arg.starts_with("--")) {
      throw UsageError("unknown option '" + arg + "'");
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) {
    throw UsageError("no command: show, request-update, cancel-update, guard on N, guard off");
  }
  for (const std::string& word : words) {
    options.command += (options.command.empty() ? "" : " ") + word;
  }
  const Verb* verb = nullptr;
  for (const Verb& candidate : kVerbs) {
    if (words.size() >= candidate.words.size() &&
        std::equal(candidate.words.begin(), candidate.words.end(), words.begin())) {
      verb = &candidate;
    }
  }
  if (verb == nullptr) {
    throw UsageError("unknown command '" + words[0] + (words.size() > 1 ? " " + words[1] : "") +
                     "'");
  }
  options.action = verb->action;
  const size_t operands = verb->action == Action::GuardOn ? 1 : 0;
  if (words.size() != verb->words.size() + operands) {
    throw UsageError(verb->action == Action::GuardOn ? "guard on needs one THRESHOLD (0..255)"
                                                     : "too many words after the command");
  }
  if (verb->action == Action::GuardOn) {
    const std::string& text = words.back();
    unsigned long value = 0;
    if (!ParseThreshold(text, value) || value > kThresholdMax) {
      throw UsageError("threshold '" + text + "' is out of 0..255");
    }
    options.threshold = static_cast<uint8_t>(value);
  }
  if ((options.dry_run || options.force) && verb->action == Action::Show) {
    throw UsageError(std::string(options.dry_run ? "--dry-run" : "--force") +
                     " goes with a change, not show");
  }
  return options;
}

bool WantsJson(std::span<const std::string> args) {
  return std::find(args.begin(), args.end(), "--json") != args.end();
}

std::string UsageText() {
  return "usage: ec-setup [OPTIONS] COMMAND\n"
         "\n"
         "Reads or changes the EC bytes of the UEFI variable \"Setup\" through efivarfs.\n"
         "\n"
         "  show                       size, attributes, update request, guard, EC register\n"
         "                             0x93 and what the next boot does, the machine\n"
         "  request-update             ask for an EC update at the next boot\n"
         "  cancel-update              withdraw that request\n"
         "  guard on THRESHOLD         power off at boot while EC register 0x93 reads\n"
         "                             below THRESHOLD (0..255, or 0x00..0xFF)\n"
         "  guard off\n"
         "\n"
         "  --json           one JSON object on stdout, for every command and outcome\n"
         "  --dry-run        every check, then write nothing\n"
         "  --force          write a guard the EC's reading says would power off, or\n"
         "                   that no reading can check\n"
         "  --efivars DIR    the efivarfs folder (default /sys/firmware/efi/efivars)\n"
         "  --ec-io FILE     the EC's registers (default /sys/kernel/debug/ec/ec0/io;\n"
         "                   as root, ec_sys is loaded when missing)\n"
         "  --config PATH    the machines changes are allowed on: a file or a folder of\n"
         "                   *.conf (default /etc/ec-setup.conf and /etc/ec-setup.d/)\n"
         "  --dmi DIR        the machine's identity (default /sys/class/dmi/id)\n"
         "  --version, --help\n"
         "\n"
         "A change rewrites the whole variable, every other byte and the attributes as read,\n"
         "in one write, and reads it back. A guard that is on is checked against EC register\n"
         "0x93 as it reads now; the register is live and may read otherwise at the next boot.\n"
         "\n"
         "Exit status: 0 done (changed, already so, dry run); 1 the write failed part way or\n"
         "the read-back differs; 2 usage or a malformed configuration; 3 not applicable here\n"
         "(no usable variable, no EC reading, machine not listed); 4 refused for safety (the\n"
         "next boot would power off); 5 not permitted (not root, a locked variable); 6 the\n"
         "variable changed between the read and the write. 2 to 6 write nothing.\n";
}

std::string VersionText() {
  return std::string("ec-setup ") + EC_SETUP_VERSION + "\n";
}

} // namespace ec_setup
