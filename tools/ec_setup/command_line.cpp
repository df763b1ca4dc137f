// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/command_line.h"

#include <algorithm>
#include <charconv>
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
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--efivars") {
      if (++i == args.size()) {
        throw UsageError("--efivars needs a folder");
      }
      options.efivars = args[i];
    } else if (arg == "--dry-run") {
      options.dry_run = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--help" || arg == "-h") {
      options.action = Action::Help;
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
  if (options.json && verb->action != Action::Show) {
    throw UsageError("--json goes with show");
  }
  if (options.dry_run && verb->action == Action::Show) {
    throw UsageError("--dry-run goes with a change, not show");
  }
  return options;
}

std::string UsageText() {
  return std::string(
             "usage: ec-setup [--efivars DIR] COMMAND\n"
             "\n"
             "Reads or changes the EC bytes of the UEFI variable \"Setup\" through efivarfs.\n"
             "\n"
             "  show [--json]              size, attributes, update request, guard\n"
             "  request-update             ask for an EC update at the next boot\n"
             "  cancel-update              withdraw that request\n"
             "  guard on THRESHOLD         power off at boot while EC register 0x93 reads\n"
             "                             below THRESHOLD (0..255, or 0x00..0xFF)\n"
             "  guard off\n"
             "\n"
             "  --efivars DIR   the efivarfs folder (default ") +
         kDefaultEfivars +
         ")\n"
         "  --dry-run       show the change, write nothing\n"
         "\n"
         "A change rewrites the whole variable, every other byte and the attributes as read, in\n"
         "one write, and reads it back. Exit status: 0 done, 1 the read-back differs or the\n"
         "write failed, 2 refused (nothing written).\n";
}

} // namespace ec_setup
