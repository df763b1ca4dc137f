// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/run_command.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "sim/hex_text.h"
#include "tools/ec_setup/command_line.h"
#include "tools/ec_setup/guard_check.h"
#include "tools/ec_setup/machine_check.h"
#include "tools/ec_setup/outcome_report.h"
#include "tools/ec_setup/read_back.h"
#include "tools/ec_setup/setup_edit.h"
#include "tools/ec_setup/show_report.h"

namespace ec_setup {

using sim::Hex;

namespace {

// Attribute bits that make a write something other than "replace the
// variable with these bytes": it would append, or need a signed payload.
constexpr UINT32 kNotPlainWrite = EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS |
                                  EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS |
                                  EFI_VARIABLE_APPEND_WRITE;

constexpr const char* kUpdateNote =
    "note: the EC update runs at the next boot, after a 5-second prompt on the console "
    "(press Q to skip it); the machine restarts once it has run\n";

// How efivarfs passes on the firmware refusing SetVariable: EFI_WRITE_PROTECTED
// (a locked variable) as EROFS, EFI_SECURITY_VIOLATION as EACCES,
// EFI_INVALID_PARAMETER as EINVAL; EPERM and EACCES also come from the kernel
// for a caller without root. The firmware stored nothing in each case.
bool RefusedWrite(int error) {
  return error == EPERM || error == EACCES || error == EINVAL || error == EROFS;
}

std::string Failure(const IoFailure& failure) {
  return failure.step +
         (failure.error != 0 ? std::string(": ") + std::strerror(failure.error) : "");
}

std::string ChangeWords(const std::vector<ByteChange>& changes) {
  std::string words;
  for (const ByteChange& c : changes) {
    words += (words.empty() ? "" : ", ") + std::string("byte ") + std::to_string(c.offset) + " (" +
             c.name + ") " + Hex(c.from, 2) + " -> " + Hex(c.to, 2);
  }
  return words;
}

class Run {
public:
  Run(std::ostream& out, std::ostream& err, const VariableIo& io) : out_(out), err_(err), io_(io) {}

  int Main(std::span<const std::string> args) {
    try {
      options_ = ParseCommandLine(args);
    } catch (const UsageError& e) {
      options_.json = WantsJson(args);
      return Stop(OutcomeKind::Refused, kExitUsage, e.what());
    }
    outcome_.command = options_.command;
    if (options_.action == Action::Help || options_.action == Action::Version) {
      out_ << (options_.action == Action::Help ? UsageText() : VersionText());
      return kExitDone;
    }
    path_ = options_.efivars + "/" + SetupFileName();
    if (const int status = ReadSetup(setup_); status != kExitDone) {
      return status;
    }
    outcome_.before = setup_.data;
    return options_.action == Action::Show ? Show() : Change();
  }

private:
  // The outcome, as JSON or as prose; a refusal or failure is one line on stderr.
  int Stop(OutcomeKind kind, int status, const std::string& reason = "") {
    outcome_.kind = kind;
    outcome_.status = status;
    outcome_.reason = reason;
    for (const std::string& warning : outcome_.warnings) {
      err_ << "ec-setup: warning: " << warning << "\n";
    }
    if (!reason.empty()) {
      err_ << "ec-setup: " << reason << "\n";
    }
    if (options_.json) {
      out_ << OutcomeJson(outcome_);
    } else {
      out_ << prose_;
    }
    return status;
  }

  int ReadSetup(Variable& setup) {
    std::vector<uint8_t> bytes;
    if (const std::optional<IoFailure> failure = io_.read(path_, bytes)) {
      if (failure->error == ENOENT) {
        return Stop(OutcomeKind::Refused, kExitNotHere,
                    "no Setup variable: " + path_ + " does not exist");
      }
      return Stop(OutcomeKind::Refused,
                  failure->error == EACCES || failure->error == EPERM ? kExitPermission
                                                                      : kExitNotHere,
                  "cannot read " + path_ + ": " + Failure(*failure));
    }
    const std::optional<Variable> parsed = ParseFileBytes(bytes);
    if (!parsed) {
      return Stop(OutcomeKind::Refused, kExitNotHere,
                  path_ + " holds " + std::to_string(bytes.size()) +
                      " bytes, fewer than the 4 attribute bytes of a variable");
    }
    setup = *parsed;
    return kExitDone;
  }

  EcReading ReadEc() const {
    return ReadGuardRegister(options_.ec_io.value_or(kDefaultEcIo),
                             !options_.ec_io && geteuid() == 0);
  }

  int Show() {
    const ShowInputs inputs{path_, setup_, io_.immutable(path_), ReadEc(),
                            CheckMachine(options_.config, options_.dmi)};
    out_ << (options_.json ? ShowJson(inputs) : ShowText(inputs));
    return kExitDone;
  }

  int Change() {
    const MachineCheck machine = CheckMachine(options_.config, options_.dmi);
    if (machine.status != kExitDone) {
      return Stop(OutcomeKind::Refused, machine.status, machine.refusal + "; nothing written");
    }
    const Edit edit = PlanEdit(options_, setup_.data);
    if (!edit.refusal.empty()) {
      return Stop(OutcomeKind::Refused, kExitNotHere, edit.refusal + "; nothing written");
    }
    if ((setup_.attributes & kNotPlainWrite) != 0) {
      return Stop(OutcomeKind::Refused, kExitNotHere,
                  "Setup's attributes " + Hex(setup_.attributes, 8) + " (" +
                      AttributeWords(setup_.attributes) +
                      ") do not allow a plain rewrite; nothing written");
    }
    const Variable written{setup_.attributes, Apply(setup_.data, edit.changes)};
    outcome_.after = written.data;
    if (GuardOf(written.data)) {
      const EcReading ec = ReadEc();
      outcome_.ec_register = ec.value;
      const GuardVerdict verdict = CheckGuard(edit.changes, written.data, ec, options_.force);
      if (!verdict.warning.empty()) {
        outcome_.warnings.push_back(verdict.warning);
      }
      if (verdict.status != kExitDone) {
        outcome_.after = setup_.data;
        return Stop(OutcomeKind::Refused, verdict.status, verdict.refusal);
      }
    }
    const char* note = options_.action == Action::RequestUpdate ? kUpdateNote : "";
    if (edit.changes.empty()) {
      prose_ = std::string("Setup already holds that; nothing written\n") + note;
      return Stop(OutcomeKind::AlreadySo, kExitDone);
    }
    if (options_.dry_run) {
      prose_ = "would set " + ChangeWords(edit.changes) + " in " + path_ +
               "; --dry-run: nothing written\n" + note;
      return Stop(OutcomeKind::DryRun, kExitDone);
    }
    return Write(written, edit, note);
  }

  int Write(const Variable& written, const Edit& edit, const char* note) {
    const int status = CheckNoOtherWriter();
    if (status != kExitDone) {
      outcome_.after = setup_.data;
      return status;
    }
    if (const std::optional<IoFailure> failure = io_.write(path_, FileBytes(written))) {
      if (!failure->after_write && RefusedWrite(failure->error)) {
        outcome_.after = setup_.data;
        return Stop(OutcomeKind::Refused, kExitPermission,
                    "the write was refused (" + Failure(*failure) +
                        "): a locked variable, or not root; nothing written");
      }
      outcome_.after.reset();
      return Stop(OutcomeKind::Failed, kExitDiffers,
                  "writing " + path_ + " failed at " + Failure(*failure));
    }
    std::vector<uint8_t> bytes;
    if (const std::optional<IoFailure> failure = io_.read(path_, bytes)) {
      outcome_.after.reset();
      return Stop(OutcomeKind::Failed, kExitDiffers,
                  "written, but the read-back failed: " + Failure(*failure));
    }
    const Variable read = ParseFileBytes(bytes).value_or(Variable{});
    outcome_.after = read.data;
    if (const std::string differences = Differences(written, read); !differences.empty()) {
      return Stop(OutcomeKind::Failed, kExitDiffers,
                  "read back differs from what was written: " + differences);
    }
    prose_ = "set " + ChangeWords(edit.changes) + "; read back " +
             std::to_string(written.data.size()) + " bytes, attributes " +
             Hex(written.attributes, 8) + ", as written\n" + note;
    return Stop(OutcomeKind::Changed, kExitDone);
  }

  // Another tool may have changed the variable since it was read: writing
  // back over that change would undo it without a word.
  int CheckNoOtherWriter() {
    std::vector<uint8_t> bytes;
    const std::optional<IoFailure> failure = io_.read(path_, bytes);
    const std::optional<Variable> now =
        failure ? std::nullopt : ParseFileBytes(std::span<const uint8_t>(bytes));
    if (now && *now == setup_) {
      return kExitDone;
    }
    const std::string what = failure ? "it can no longer be read (" + Failure(*failure) + ")"
                             : now   ? Differences(setup_, *now, "was")
                                     : "it holds fewer than 4 bytes";
    return Stop(OutcomeKind::Refused, kExitOtherWriter,
                "Setup changed since it was read (" + what + "); nothing written, run again");
  }

  std::ostream& out_;
  std::ostream& err_;
  const VariableIo& io_;
  Options options_;
  Outcome outcome_;
  std::string path_;
  Variable setup_;
  std::string prose_; // stdout in text mode
};

} // namespace

int RunEcSetup(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               const VariableIo& io) {
  return Run(out, err, io).Main(args);
}

} // namespace ec_setup
