// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/update_oracle.h"

#include <stdexcept>

#include "sim/model_settings.h"
#include "tools/ec_run/input_files.h"
#include "tools/ec_run/trace_classifier.h"

namespace ec_run {

namespace {

constexpr const char* kUpdateScenario = "update";

// The knobs that change what the update does, not only how long it waits.
std::string ChangesTheUpdate(const sim::ModelSettings& s) {
  if (s.ec.replies_before_ready != 0) {
    return "replies_before_ready";
  }
  if (s.flash.id != sim::kFlashExpectedId) {
    return "flash_id";
  }
  if (s.flash.busy_forever) {
    return "flash_busy_forever";
  }
  if (s.flash.stuck_erase_address) {
    return "stuck_erase_address";
  }
  if (s.flash.bad_program_address) {
    return "bad_program_address";
  }
  return {};
}

// Runs the classifier over the sequence, handing each record to `record`.
void Classify(const Oracle& oracle, const std::function<void(const TracedAccess&)>& record) {
  TraceClassifier classifier(record);
  uint64_t index = 0;
  oracle.Stream([&](const sim::PortAccess& a) { classifier.See(index++, 0, a); });
  classifier.Finish();
}

} // namespace

bool Oracle::busy() const {
  return timing.ec_input != 0 || timing.ec_output != 0 || timing.ec_at_start != 0 ||
         timing.flash_erase != 0 || timing.flash_program != 0 || timing.flash_write_enable != 0 ||
         timing.flash_write_disable != 0;
}

void Oracle::Stream(const std::function<void(const sim::PortAccess&)>& sink) const {
  sim::StreamTrace(scenario, timing, sink);
}

Oracle OracleFor(const std::optional<std::string>& settings,
                 const std::optional<std::string>& ec_image) {
  Oracle oracle{*sim::FindScenario(kUpdateScenario), {}};
  if (ec_image) {
    oracle.scenario.platform.ec_image = LoadEcImage(*ec_image);
  }
  if (settings) {
    sim::ModelSettings s;
    try {
      s = sim::ReadSettingsFile(*settings);
    } catch (const sim::SettingsError& e) {
      throw InputError(*settings + ": " + e.what());
    }
    if (const std::string knob = ChangesTheUpdate(s); !knob.empty()) {
      throw InputError(*settings + ": " + knob +
                       " changes the update's sequence; compare follows a full update");
    }
    oracle.scenario.platform.ec = s.ec;
    oracle.scenario.platform.flash = s.flash;
    oracle.timing = sim::TimingOf(oracle.scenario.platform);
  }
  return oracle;
}

std::string StepAt(const Oracle& oracle, uint64_t index) {
  std::string step = "after the end";
  Classify(oracle, [&](const TracedAccess& r) {
    if (r.index == index) {
      step = StepName(r.step);
    }
  });
  return step;
}

uint64_t BlockStart(unsigned block) {
  const Oracle never_busy = OracleFor(std::nullopt, std::nullopt);
  std::optional<uint64_t> start;
  Classify(never_busy, [&](const TracedAccess& r) {
    if (!start && r.step.kind == StepKind::Erase && r.step.block == static_cast<int>(block)) {
      start = r.index;
    }
  });
  if (!start) {
    throw std::logic_error("no erase step for block " + std::to_string(block));
  }
  return *start;
}

} // namespace ec_run
