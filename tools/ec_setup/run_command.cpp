// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/run_command.h"

#include <cerrno>
#include <cstring>

#include "sim/hex_text.h"
#include "tools/ec_setup/command_line.h"
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
// for a caller without root.
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
    Options options;
    try {
      options = ParseCommandLine(args);
    } catch (const UsageError& e) {
      return Refuse(e.what());
    }
    if (options.action == Action::Help) {
      out_ << UsageText();
      return kExitDone;
    }
    path_ = options.efivars + "/" + SetupFileName();
    Variable setup;
    if (const int status = ReadSetup(setup); status != kExitDone) {
      return status;
    }
    if (options.action == Action::Show) {
      const std::optional<bool> immutable = io_.immutable(path_);
      out_ << (options.json ? ShowJson(path_, setup, immutable)
                            : ShowText(path_, setup, immutable));
      return kExitDone;
    }
    return Change(options, setup);
  }

private:
  int Refuse(const std::string& why) {
    err_ << "ec-setup: " << why << "\n";
    return kExitRefused;
  }

  int Fail(const std::string& why) {
    err_ << "ec-setup: " << why << "\n";
    return kExitFailed;
  }

  int ReadSetup(Variable& setup) {
    std::vector<uint8_t> bytes;
    if (const std::optional<IoFailure> failure = io_.read(path_, bytes)) {
      if (failure->error == ENOENT) {
        return Refuse("no Setup variable: " + path_ + " does not exist");
      }
      return Refuse("cannot read " + path_ + ": " + Failure(*failure));
    }
    const std::optional<Variable> parsed = ParseFileBytes(bytes);
    if (!parsed) {
      return Refuse(path_ + " holds " + std::to_string(bytes.size()) +
                    " bytes, fewer than the 4 attribute bytes of a variable");
    }
    setup = *parsed;
    return kExitDone;
  }

  int Change(const Options& options, const Variable& setup) {
    const Edit edit = PlanEdit(options, setup.data);
    if (!edit.refusal.empty()) {
      return Refuse(edit.refusal + "; nothing written");
    }
    if ((setup.attributes & kNotPlainWrite) != 0) {
      return Refuse("Setup's attributes " + Hex(setup.attributes, 8) + " (" +
                    AttributeWords(setup.attributes) +
                    ") do not allow a plain rewrite; nothing written");
    }
    const char* note = options.action == Action::RequestUpdate ? kUpdateNote : "";
    if (edit.changes.empty()) {
      out_ << "Setup already holds that; nothing written\n" << note;
      return kExitDone;
    }
    const Variable written{setup.attributes, Apply(setup.data, edit.changes)};
    if (options.dry_run) {
      out_ << "would set " << ChangeWords(edit.changes) << " in " << path_
           << "; --dry-run: nothing written\n"
           << note;
      return kExitDone;
    }
    if (const std::optional<IoFailure> failure = io_.write(path_, FileBytes(written))) {
      if (!failure->after_write && RefusedWrite(failure->error)) {
        return Refuse("the write was refused (" + Failure(*failure) +
                      "): a locked variable, or not root; nothing written");
      }
      return Fail("writing " + path_ + " failed at " + Failure(*failure));
    }
    std::vector<uint8_t> bytes;
    if (const std::optional<IoFailure> failure = io_.read(path_, bytes)) {
      return Fail("written, but the read-back failed: " + Failure(*failure));
    }
    const std::string differences =
        Differences(written, ParseFileBytes(bytes).value_or(Variable{}));
    if (!differences.empty()) {
      return Fail("read back differs from what was written: " + differences);
    }
    out_ << "set " << ChangeWords(edit.changes) << "; read back " << written.data.size()
         << " bytes, attributes " << Hex(written.attributes, 8) << ", as written\n"
         << note;
    return kExitDone;
  }

  std::ostream& out_;
  std::ostream& err_;
  const VariableIo& io_;
  std::string path_;
};

} // namespace

int RunEcSetup(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               const VariableIo& io) {
  return Run(out, err, io).Main(args);
}

} // namespace ec_setup
