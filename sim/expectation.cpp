// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/expectation.h"

#include "sim/hex_text.h"

#include <algorithm>

#include "sim/protocol_trace.h"

namespace sim {

namespace {

constexpr int kPolls = 50;
constexpr uint64_t kPollUs = 100000;
constexpr uint64_t kSkipPauseUs = 2000000;
constexpr uint64_t kRestartPauseUs = 3000000;

const std::u16string kPrompt =
    u"Please press 'Q' within 5 seconds if you want to skip this update, "
    u"otherwise system would start updating EC.";
const std::u16string kStarting =
    u"Starting update EC, please keep power and don't do anything during update!";
const std::u16string kSkipped = u"EC update skipped, system will continue boot!";
const std::u16string kUpdated = u"EC update successfully! System would restart!";
const std::u16string kInitFailed = u"EC init failed, skip EC update! System would restart!";
const std::u16string kUpdateFailed = u"EC update failed! System would restart!";

bool Readable(const Scenario& s, size_t byte) {
  return !s.get_variable_error && s.setup && s.setup->size() <= kSetupSize &&
         s.setup->size() > byte;
}

// The poll (1..50) at which a Q is taken, or 0: one key stroke per poll.
int SkipPoll(const std::vector<KeyStroke>& keys) {
  size_t next = 0;
  for (int poll = 1; poll <= kPolls; ++poll) {
    if (next < keys.size() && keys[next].at_us <= poll * kPollUs) {
      const char16_t c = keys[next++].unicode;
      if (c == u'q' || c == u'Q') {
        return poll;
      }
    }
  }
  return 0;
}

void ExpectUpdater(const Scenario& s, Expectation& e, ProtocolTrace& trace) {
  const std::vector<uint8_t>& image = s.platform.ec_image;
  e.flash_after = s.platform.flash_before.empty() ? std::vector<uint8_t>(kEcImageSize, kFlashErased)
                                                  : s.platform.flash_before;
  if (!Readable(s, kRequestByte) || (*s.setup)[kRequestByte] != kUpdateRequested) {
    e.ending = Ending::NoRequest;
    e.setup_after = s.setup;
    return;
  }
  e.rows = {{10, Banner(s.platform.image)}, {11, kPrompt}};
  if (const int poll = SkipPoll(s.keys); poll != 0) {
    e.ending = Ending::Skipped;
    e.rows.push_back({13, kSkipped});
    e.virtual_us = poll * kPollUs + kSkipPauseUs;
  } else {
    e.rows.push_back({12, kStarting});
    e.virtual_us = kPolls * kPollUs + kRestartPauseUs;
    e.restart = true;
    trace.Command(kPtEnter);
    const int not_ready = s.platform.ec.replies_before_ready;
    const bool ready = not_ready >= 0 && not_ready < kHandshakeReplies;
    for (int i = 0; i < (ready ? not_ready : kHandshakeReplies); ++i) {
      trace.Reply(s.platform.ec.not_ready_reply);
    }
    if (!ready) {
      trace.ReplyLeftUnread();
      e.ending = Ending::InitFailed;
    } else {
      trace.Reply(kPtReady);
      trace.FlashIdle();
      trace.FlashId(s.platform.flash.id);
      e.ending = s.platform.flash.id == kFlashExpectedId ? Ending::Updated : Ending::InitFailed;
    }
    for (uint32_t block = 0; e.ending == Ending::Updated && block < kEcBlocks; ++block) {
      const uint32_t base = block * kEcBlockSize;
      std::vector<uint8_t> blank(kEcBlockSize, kFlashErased);
      std::vector<uint8_t> readback(image.begin() + base, image.begin() + base + kEcBlockSize);
      const FlashConfig& fault = s.platform.flash;
      const bool blank_fails = fault.stuck_erase_address &&
                               *fault.stuck_erase_address / kEcBlockSize == block &&
                               fault.stuck_value != kFlashErased;
      const bool verify_fails = fault.bad_program_address &&
                                *fault.bad_program_address / kEcBlockSize == block &&
                                fault.bad_program_flip != 0;
      if (blank_fails) {
        blank[*fault.stuck_erase_address - base] = fault.stuck_value;
      } else if (verify_fails) {
        readback[*fault.bad_program_address - base] ^= fault.bad_program_flip;
      }
      trace.Block(base, image.data() + base, blank, readback);
      const std::vector<uint8_t>& written = blank_fails ? blank : readback;
      std::copy(written.begin(), written.end(), e.flash_after.begin() + base);
      const bool failed = blank_fails || verify_fails;
      if (failed) {
        e.ending = Ending::UpdateFailed;
      } else {
        ++e.blocks_verified;
      }
    }
    e.rows.push_back({15, e.ending == Ending::Updated      ? kUpdated
                          : e.ending == Ending::InitFailed ? kInitFailed
                                                           : kUpdateFailed});
  }
  e.setup_after = s.setup;
  (*e.setup_after)[kRequestByte] = 0;
  trace.Command(kPtLeave);
  if (e.restart) {
    trace.ResetPort();
  }
  e.trace = std::move(trace.log());
}

void ExpectGuard(const Scenario& s, Expectation& e, ProtocolTrace& trace) {
  e.setup_after = s.setup;
  if (s.get_variable_error) {
    e.ending = Ending::GuardNotRun;
    e.entry_status = *s.get_variable_error;
    return;
  }
  if (!s.setup) {
    e.ending = Ending::GuardNotRun;
    e.entry_status = EFI_NOT_FOUND;
    return;
  }
  if (s.setup->size() > kSetupSize) {
    e.ending = Ending::GuardNotRun;
    e.entry_status = EFI_BUFFER_TOO_SMALL;
    return;
  }
  if (!Readable(s, kGuardThresholdByte) || (*s.setup)[kGuardEnableByte] == 0) {
    e.ending = Ending::GuardNotRun;
    return;
  }
  const uint8_t threshold = (*s.setup)[kGuardThresholdByte];
  const uint8_t reading = s.platform.ec.registers[kGuardRegister];
  trace.Command(kGuardThreshold);
  trace.Data(threshold);
  trace.Command(kAcpiRead);
  trace.Data(kGuardRegister);
  trace.Reply(reading);
  e.trace = std::move(trace.log());
  e.power_off = reading < threshold;
  e.ending = e.power_off ? Ending::GuardPoweredOff : Ending::GuardPassed;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return out;
}

} // namespace

const char* EndingName(Ending ending) {
  switch (ending) {
  case Ending::NoRequest:
    return "no request";
  case Ending::Skipped:
    return "skipped";
  case Ending::Updated:
    return "updated";
  case Ending::InitFailed:
    return "EC init failed";
  case Ending::UpdateFailed:
    return "update failed";
  case Ending::GuardPassed:
    return "boot continues";
  case Ending::GuardPoweredOff:
    return "powered off";
  case Ending::GuardNotRun:
    return "guard did not run";
  }
  return "?";
}

namespace {

void ExpectWith(const Scenario& scenario, Expectation& e, ProtocolTrace& trace) {
  if (scenario.driver == Driver::Updater) {
    ExpectUpdater(scenario, e, trace);
  } else {
    ExpectGuard(scenario, e, trace);
  }
}

} // namespace

Expectation Expect(const Scenario& scenario) {
  Expectation e;
  ProtocolTrace trace;
  ExpectWith(scenario, e, trace);
  return e;
}

WaitTiming TimingOf(const PlatformConfig& platform) {
  return {.ec_input = platform.ec.ibf_busy_reads,
          .ec_output = platform.ec.obf_delay_reads,
          .ec_at_start = platform.ec.busy_at_start_reads,
          .flash_erase = platform.flash.busy_reads_after_erase,
          .flash_program = platform.flash.busy_reads_after_program,
          .flash_write_enable = platform.flash.busy_reads_after_write_enable,
          .flash_write_disable = platform.flash.latch_reads_after_write_disable};
}

void StreamTrace(const Scenario& scenario, const WaitTiming& timing,
                 const std::function<void(const PortAccess&)>& sink) {
  Expectation e;
  ProtocolTrace trace(timing, sink);
  ExpectWith(scenario, e, trace);
}

PortLog TimedTrace(const Scenario& scenario) {
  PortLog log;
  StreamTrace(scenario, TimingOf(scenario.platform),
              [&](const PortAccess& a) { log.push_back(a); });
  return log;
}

PortLog FullUpdateTrace() {
  return Expect(*FindScenario("update")).trace;
}

std::string FirstDifference(const PortLog& expected, const PortLog& actual) {
  const size_t common = std::min(expected.size(), actual.size());
  size_t at = 0;
  while (at < common && expected[at] == actual[at]) {
    ++at;
  }
  if (at == common && expected.size() == actual.size()) {
    return {};
  }
  std::string text = "port sequences differ at access " + std::to_string(at) + " of " +
                     std::to_string(expected.size()) + " expected, " +
                     std::to_string(actual.size()) + " made:";
  const size_t from = at > 3 ? at - 3 : 0;
  for (size_t i = from; i < at + 3; ++i) {
    text += "\n  #" + std::to_string(i) + "  expected " +
            (i < expected.size() ? Describe(expected[i]) : "(end)") + "   made " +
            (i < actual.size() ? Describe(actual[i]) : "(end)");
  }
  return text;
}

std::vector<std::string> Check(const Scenario& s, const Expectation& e, const RunRecord& run) {
  std::vector<std::string> faults;
  auto fault = [&](std::string what) { faults.push_back(std::move(what)); };

  if (!run.stopped.empty()) {
    fault("run stopped: " + run.stopped);
  }
  if (run.entry_status != e.entry_status) {
    fault("entry returned " + Hex(run.entry_status) + ", expected " + Hex(e.entry_status));
  }
  if (run.console.size() != e.rows.size()) {
    fault("console: " + std::to_string(run.console.size()) + " messages, expected " +
          std::to_string(e.rows.size()));
  }
  for (size_t i = 0; i < std::min(run.console.size(), e.rows.size()); ++i) {
    const ConsoleOutput& out = run.console[i];
    if (out.row != e.rows[i].row || out.column != 0 || out.attribute != 0x4E ||
        out.text != e.rows[i].text) {
      fault("console message " + std::to_string(i) + ": row " + std::to_string(out.row) +
            " column " + std::to_string(out.column) + " attribute " + Hex(out.attribute) + " \"" +
            Narrow(out.text) + "\", expected row " + std::to_string(e.rows[i].row) +
            " column 0 attribute 0x4E \"" + Narrow(e.rows[i].text) + "\"");
    }
  }
  if (std::string diff = FirstDifference(e.trace, run.log); !diff.empty()) {
    fault(diff);
  }
  if (e.setup_after.has_value() != run.setup_after.has_value()) {
    fault(e.setup_after ? "\"Setup\" vanished" : "\"Setup\" appeared");
  } else if (e.setup_after) {
    if (run.setup_after->data != *e.setup_after) {
      fault("\"Setup\" contents differ from what must be kept");
    }
    if (run.setup_after->attributes != s.setup_attributes) {
      fault("\"Setup\" attributes changed to " + Hex(run.setup_after->attributes));
    }
  }
  if (run.reset_port_written != e.restart) {
    fault(e.restart ? "no restart through port 0xCF9" : "unexpected restart through port 0xCF9");
  }
  const bool powered_off = run.reset_system && run.reset_system->type == EfiResetShutdown;
  if (powered_off != e.power_off || (run.reset_system && !powered_off)) {
    fault(e.power_off ? "no power-off" : "unexpected ResetSystem call");
  }
  if (run.virtual_us != e.virtual_us) {
    fault("virtual time " + std::to_string(run.virtual_us) + " us, expected " +
          std::to_string(e.virtual_us));
  }
  if (s.driver == Driver::Updater && run.flash_after != e.flash_after) {
    fault("EC flash contents differ from the expected ones");
  }
  if (s.driver == Driver::Updater && s.trigger_installs > 0 && run.open_events != 0) {
    fault("the trigger event was left open");
  }
  for (const std::string& v : run.violations) {
    fault("EC protocol breach: " + v);
  }
  return faults;
}

} // namespace sim
