// SPDX-License-Identifier: BSD-2-Clause-Patent
// How the emulated machine ends a run: returning, the platform reset, the
// power-off, and each way the bench stops a run that went wrong, with the
// reason it gives. Faults are made by patching bytes of a delivered image.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/image_bench/image_files.h"
#include "tools/image_bench/emulated_runner.h"
#include "tools/image_bench/pe_format.h"

namespace {

using image_bench::HaltKind;

struct Ending {
  const char* scenario;
  HaltKind halt;
  bool entry_returned;
};

// Each driver path ends in one way only.
TEST(EmulatedMachine, EndsEachPathAsTheMachineWould) {
  const Ending endings[] = {
      {"update", HaltKind::Restart, true},
      {"wrong-id", HaltKind::Restart, true},
      {"skip-q", HaltKind::None, true},
      {"no-request-2", HaltKind::None, true},
      {"guard-power-off", HaltKind::PowerOff, false},
      {"guard-continue", HaltKind::None, true},
      {"guard-no-setup", HaltKind::None, true},
  };
  for (const Ending& e : endings) {
    const sim::Scenario& scenario = *sim::FindScenario(e.scenario);
    const std::vector<uint8_t> file = image_test::DeliveredImage(scenario.driver);
    ASSERT_FALSE(file.empty());
    const image_bench::EmulatedRun run = image_bench::RunImage(scenario, file);
    EXPECT_EQ(run.halt.kind, e.halt) << e.scenario << ": " << run.halt.reason;
    EXPECT_TRUE(run.record.stopped.empty()) << e.scenario << ": " << run.record.stopped;
    EXPECT_GT(run.instructions, 0u) << e.scenario;
    if (e.halt == HaltKind::Restart) {
      // Nothing runs after the reset write: it is the last access.
      ASSERT_FALSE(run.record.log.empty());
      EXPECT_EQ(run.record.log.back(), sim::Out(sim::kResetControlPort, sim::kResetFull))
          << e.scenario;
    }
  }
}

// Patches one image; returns false (and fails) when the bytes to patch are
// not there.
using Patch = std::function<bool(std::vector<uint8_t>&, const image_bench::PeImage&)>;

// out %al, $0x80 becomes out %al, $0x81.
bool ProgressToPort81(std::vector<uint8_t>& file, const image_bench::PeImage&) {
  const auto at = image_test::Find(file, {0xE6, 0x80});
  if (at) {
    file[*at + 1] = 0x81;
  }
  return at.has_value();
}

// call *0x48(%reg) (GetVariable) becomes call *0x50(%reg) (GetNextVariableName).
bool GetVariableToNextName(std::vector<uint8_t>& file, const image_bench::PeImage&) {
  for (size_t i = 0; i + 2 < file.size(); ++i) {
    const uint8_t modrm = file[i + 1];
    if (file[i] == 0xFF && (modrm & 0xF8) == 0x50 && modrm != 0x54 && file[i + 2] == 0x48) {
      file[i + 2] = 0x50;
      return true;
    }
  }
  return false;
}

// int3 at the entry point.
bool BreakpointAtEntry(std::vector<uint8_t>& file, const image_bench::PeImage& image) {
  const auto at = image_test::FileOffset(image, image.entry_rva);
  if (at) {
    file[*at] = 0xCC;
  }
  return at.has_value();
}

// Every relocation entry turned into padding: pointers keep their link-time
// values, which are not where the image was loaded.
bool DropRelocations(std::vector<uint8_t>& file, const image_bench::PeImage& image) {
  const auto first = image_test::FileOffset(image, image.relocation_rva);
  if (!first) {
    return false;
  }
  for (size_t block = *first; block < *first + image.relocation_size;) {
    uint32_t size;
    std::memcpy(&size, file.data() + block + 4, sizeof size);
    for (size_t at = block + image_bench::pe::kRelocationBlockHeaderSize; at < block + size;
         at += 2) {
      file[at + 1] &= 0x0F; // the type sits in the entry's top four bits
    }
    block += size;
  }
  return true;
}

struct Stop {
  const char* name;
  const char* scenario;
  Patch patch; // null: the image as delivered
  bool flash_busy_forever;
  uint64_t access_limit; // 0: the machine's default
  uint64_t instruction_budget;
  const char* reason;
};

void PrintTo(const Stop& c, std::ostream* os) {
  *os << c.name;
}

const Stop kStops[] = {
    {"port the platform lacks", "guard-continue", ProgressToPort81, false, 0,
     image_bench::kDefaultInstructionBudget, "write to unexpected port 0x81"},
    {"slot the drivers never call", "guard-continue", GetVariableToNextName, false, 0,
     image_bench::kDefaultInstructionBudget,
     "unexpected call to RuntimeServices.GetNextVariableName"},
    {"CPU exception", "guard-continue", BreakpointAtEntry, false, 0,
     image_bench::kDefaultInstructionBudget, "CPU exception 3"},
    // The Setup name pointer still holds its link-time address 0x14000xxxx.
    {"missing relocations", "guard-continue", DropRelocations, false, 0,
     image_bench::kDefaultInstructionBudget, "at 0x14000"},
    {"flash stuck busy: port budget", "update", nullptr, true, 200000,
     image_bench::kDefaultInstructionBudget, "port access limit of 200000 reached"},
    {"instruction budget", "update", nullptr, false, 0, 100000,
     "instruction budget of 100000 spent"},
};

class MachineStops : public testing::TestWithParam<Stop> {};

TEST_P(MachineStops, WithItsReason) {
  const Stop& stop = GetParam();
  sim::Scenario scenario = *sim::FindScenario(stop.scenario);
  scenario.platform.flash.busy_forever = stop.flash_busy_forever;
  scenario.platform.access_limit = stop.access_limit;
  std::vector<uint8_t> file = image_test::DeliveredImage(scenario.driver);
  ASSERT_FALSE(file.empty());
  if (stop.patch) {
    ASSERT_TRUE(stop.patch(file, image_bench::ParsePeImage(file)))
        << "the bytes to patch are not in the image";
  }
  image_bench::MachineOptions options;
  options.instruction_budget = stop.instruction_budget;
  const image_bench::EmulatedRun run = image_bench::RunImage(scenario, file, options);
  EXPECT_EQ(run.halt.kind, HaltKind::Stopped);
  EXPECT_NE(run.record.stopped.find(stop.reason), std::string::npos) << run.record.stopped;
  // A stopped run never passes its checks.
  EXPECT_FALSE(sim::Check(scenario, sim::Expect(scenario), run.record).empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, MachineStops, testing::ValuesIn(kStops),
                         [](const testing::TestParamInfo<Stop>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

} // namespace
