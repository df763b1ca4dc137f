// SPDX-License-Identifier: BSD-2-Clause-Patent
// The built libec_model.so as a loader outside the build uses it: opened with
// dlopen, driven only through its C functions. A whole update replayed from
// the protocol's sequence must be answered access for access, leave the image
// in flash_file and the EC's view in report_file, and survive a power cycle.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/ec_model_api.h"
#include "sim/expectation.h"
#include "sim/scenario.h"

namespace {

namespace fs = std::filesystem;

template <typename F> F Find(void* handle, const char* name) {
  return reinterpret_cast<F>(dlsym(handle, name));
}

// The interface as a loader finds it in the built library, by name.
struct Library {
  ~Library() {
    if (handle != nullptr) {
      dlclose(handle);
    }
  }
  void* handle = dlopen(EC_MODEL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  decltype(&ec_model_api_version) version = Find<decltype(version)>(handle, "ec_model_api_version");
  decltype(&ec_model_open) open = Find<decltype(open)>(handle, "ec_model_open");
  decltype(&ec_model_read) read = Find<decltype(read)>(handle, "ec_model_read");
  decltype(&ec_model_write) write = Find<decltype(write)>(handle, "ec_model_write");
  decltype(&ec_model_platform_reset) reset =
      Find<decltype(reset)>(handle, "ec_model_platform_reset");
  decltype(&ec_model_close) close = Find<decltype(close)>(handle, "ec_model_close");
};

class ModelLibrary : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    ASSERT_TRUE(lib.version && lib.open && lib.read && lib.write && lib.reset && lib.close);
    ASSERT_EQ(lib.version(), EC_MODEL_API_VERSION);
    dir =
        fs::temp_directory_path() / ("ec_model_api_test_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Settings(const std::string& text) const {
    const fs::path path = dir / "settings.txt";
    std::ofstream(path) << text;
    return path.string();
  }
  std::string Slurp(const std::string& name) const {
    std::ifstream file(dir / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }
  ec_model* Open(const std::string& settings_text) {
    char error[200] = "untouched";
    ec_model* model = lib.open(Settings(settings_text).c_str(), error, sizeof error);
    EXPECT_NE(model, nullptr) << error;
    return model;
  }
  // Plays the log; returns the index of the first read answered otherwise.
  size_t Replay(ec_model* model, const sim::PortLog& log) {
    for (size_t i = 0; i < log.size(); ++i) {
      const sim::PortAccess& a = log[i];
      if (a.dir == sim::PortDir::Out) {
        lib.write(model, a.port, a.value);
      } else if (lib.read(model, a.port) != a.value) {
        return i;
      }
    }
    return log.size();
  }

  Library lib;
  fs::path dir;
};

TEST_F(ModelLibrary, FullUpdateThroughTheCInterfaceThenAPowerCycle) {
  const sim::PortLog update = sim::FullUpdateTrace();
  ec_model* model = Open("flash_file = flash.bin\nreport_file = report.json\n");
  ASSERT_NE(model, nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Replay(model, update), update.size());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("full update through the C interface: %zu accesses in %.3f s\n", update.size(),
              seconds);
  lib.reset(model); // the restart the 0xCF9 write asks for
  lib.close(model);

  const std::vector<uint8_t>& image = sim::FindScenario("update")->platform.ec_image;
  EXPECT_EQ(Slurp("flash.bin"), std::string(image.begin(), image.end()));
  const std::string report = Slurp("report.json");
  for (const std::string& field : std::vector<std::string>{
           "\"violation_count\": 0,", "\"violations\": [],",
           "\"accesses\": " + std::to_string(update.size()) + ",", "\"platform_resets\": 1,",
           "\"reset_writes\": 1,", "\"last_progress_code\": 235,", "\"in_pass_through\": false,",
           "\"guard_threshold\": -1,", "\"handshake_replies\": 1,", "\"erases\": 128,",
           "\"word_programs\": 65536,"}) {
    EXPECT_NE(report.find(field), std::string::npos) << field << " not in\n" << report;
  }
  EXPECT_FALSE(fs::exists(dir / "flash.bin.tmp"));

  // Power back on: the flash holds the image, everything else starts over.
  model = Open("flash_file = flash.bin\nreport_file = report.json\nregister 0x93 = 0x42\n");
  ASSERT_NE(model, nullptr);
  lib.write(model, 0x66, 0x80); // ACPI EC read of register 0x93
  lib.write(model, 0x62, 0x93);
  EXPECT_EQ(lib.read(model, 0x66) & 0x01, 0x01);
  EXPECT_EQ(lib.read(model, 0x62), 0x42);
  lib.close(model);
  EXPECT_EQ(Slurp("flash.bin"), std::string(image.begin(), image.end()));
  EXPECT_NE(Slurp("report.json").find("\"erases\": 0,"), std::string::npos);
}

TEST_F(ModelLibrary, PortsTheEcDoesNotHaveAreBreachesThatReadAllOnes) {
  ec_model* model = Open("report_file = report.json\n");
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(lib.read(model, 0x80), 0xFF);
  EXPECT_EQ(lib.read(model, 0x64), 0xFF);
  lib.write(model, 0x61, 0x12);
  EXPECT_EQ(lib.read(model, 0x66), 0x00); // the EC itself is untouched
  lib.close(model);
  const std::string report = Slurp("report.json");
  EXPECT_NE(report.find("\"violation_count\": 3,"), std::string::npos) << report;
  EXPECT_NE(report.find("\"accesses\": 4,"), std::string::npos) << report;
  EXPECT_NE(report.find("write of 0x12 to port 0x61"), std::string::npos) << report;
}

TEST_F(ModelLibrary, OpenRefusesWithOneLine) {
  std::ofstream(dir / "short.bin") << std::string(1000, '\xFF');
  const struct {
    const char* settings;
    const char* message;
  } cases[] = {
      {"flash_file = short.bin\n", "settings line 1: flash_file "},
      {"# fine\nec_busy_input = 1\nfoo = 2\n", "settings line 3: unknown key 'foo'"},
  };
  for (const auto& c : cases) {
    char error[200] = "";
    EXPECT_EQ(lib.open(Settings(c.settings).c_str(), error, sizeof error), nullptr) << c.settings;
    EXPECT_EQ(std::string(error).rfind(c.message, 0), 0u) << error;
    EXPECT_EQ(std::string(error).find('\n'), std::string::npos) << error;
  }
  char error[200] = "";
  EXPECT_EQ(lib.open((dir / "absent.txt").c_str(), error, sizeof error), nullptr);
  EXPECT_NE(std::string(error).find("cannot be read"), std::string::npos) << error;
  ec_model* defaults = lib.open(nullptr, error, sizeof error);
  EXPECT_NE(defaults, nullptr) << error;
  lib.close(defaults);
}

} // namespace
