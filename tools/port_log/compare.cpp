// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/port_log/compare.h"

#include <cstdio>
#include <optional>

#include "sim/ec_protocol.h"

namespace port_log {

namespace {

// The accesses a busy EC repeats: each wait's status reads and their progress codes.
bool IsWait(const sim::PortAccess& a) {
  return (a.dir == sim::PortDir::In && a.port == sim::kEcCommandPort) ||
         (a.dir == sim::PortDir::Out && a.port == sim::kPostCodePort);
}

std::string Text(const sim::PortAccess& a) {
  char text[24];
  std::snprintf(text, sizeof text, "%s 0x%02X 0x%02X", a.dir == sim::PortDir::In ? "in" : "out",
                a.port, a.value);
  return text;
}

struct Difference {
  uint64_t got_index;
  uint64_t expected_index;
  std::optional<sim::PortAccess> got;
  std::optional<sim::PortAccess> expected;
};

} // namespace

Comparison Compare(const Boot& boot, const ec_run::Oracle& cold_oracle) {
  // The EC is busy with its start-up only after power-on; a reset does not restart it.
  ec_run::Oracle oracle = cold_oracle;
  if (!boot.cold_start) {
    oracle.timing.ec_at_start = 0;
  }
  const sim::PortLog& log = boot.accesses;
  const bool waits_compared = !oracle.busy();
  auto skip_waits = [&](uint64_t at) {
    while (!waits_compared && at < log.size() && IsWait(log[at])) {
      ++at;
    }
    return at;
  };
  uint64_t expected_count = 0;
  uint64_t got = 0;
  std::optional<Difference> first;
  oracle.Stream([&](const sim::PortAccess& want) {
    const uint64_t index = expected_count++;
    if (first || (!waits_compared && IsWait(want))) {
      return;
    }
    got = skip_waits(got);
    if (got >= log.size() || log[got] != want) {
      first =
          Difference{got, index, got < log.size() ? std::optional(log[got]) : std::nullopt, want};
    }
    ++got;
  });
  if (!first && (got = skip_waits(got)) < log.size()) {
    first = Difference{got, expected_count, log[got], std::nullopt};
  }

  const std::string predicted = waits_compared
                                    ? ""
                                    : "the protocol predicts " + std::to_string(expected_count) +
                                          " accesses for these settings";
  if (first) {
    std::string line = "differs at access " + std::to_string(first->got_index) + ": got " +
                       (first->got ? Text(*first->got) : "(end)") + ", expected " +
                       (first->expected ? Text(*first->expected) : "(end)") + " (" +
                       ec_run::StepAt(oracle, first->expected_index) + ")";
    if (!waits_compared) {
      line += "; the protocol's access " + std::to_string(first->expected_index) + " of " +
              std::to_string(expected_count) + " for these settings, waits not compared";
    }
    return {false, line};
  }
  if (log.size() != expected_count) {
    return {false, "differs in count: got " + std::to_string(log.size()) + " accesses, " +
                       predicted + " (the accesses outside the waits are equal)"};
  }
  return {true, "equal: " + std::to_string(log.size()) + " accesses" +
                    (waits_compared ? "" : ", as " + predicted + ", outside the waits in order")};
}

} // namespace port_log
