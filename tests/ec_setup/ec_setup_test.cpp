// SPDX-License-Identifier: BSD-2-Clause-Patent
// ec-setup against a fake efivars folder: regular files laid out as efivarfs
// lays them out (4 attribute bytes, then the data). Every check compares the
// whole file, so a lost attribute, a truncated variable or a byte that moved
// fails it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <optional>
#include <regex>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

#include "sim/ec_protocol.h"
#include "tools/ec_setup/run_command.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Args = std::vector<std::string>;

// The layout from the host side's protocol home, apart from the tool's own
// definition (the drivers' header).
constexpr size_t kRequest = sim::kRequestByte, kEnable = sim::kGuardEnableByte,
                 kThreshold = sim::kGuardThresholdByte, kBuffer = sim::kSetupSize;
constexpr uint32_t kNvBsRt = 0x7;
const char* const kFileName = "Setup-ec87d643-eba4-4bb5-a1e5-3f3e36b20da9";
const char* const kListed = "# the rig\n[machine]\nsys_vendor = QEMU\n"
                            "product_name = Standard PC (Q35 + ICH9, 2009)\n";

struct EcBytes {
  uint8_t request, enable, threshold;
};

// A variable whose every byte tells where it belongs, the three EC bytes set.
Bytes FileOf(uint32_t attributes, size_t size, EcBytes ec = {0, 0, 0}) {
  Bytes file = {uint8_t(attributes), uint8_t(attributes >> 8), uint8_t(attributes >> 16),
                uint8_t(attributes >> 24)};
  for (size_t i = 0; i < size; ++i) {
    file.push_back(static_cast<uint8_t>(i % 251));
  }
  const std::pair<size_t, uint8_t> set[] = {
      {kRequest, ec.request}, {kEnable, ec.enable}, {kThreshold, ec.threshold}};
  for (const auto& [offset, value] : set) {
    if (offset < size) {
      file[4 + offset] = value;
    }
  }
  return file;
}

struct Result {
  int status;
  std::string out, err;
};

class EcSetup : public testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) / ("ec_setup_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / kFileName).string();
    fs::create_directories(dir_ / "dmi");
    Write(dir_ / "dmi" / "sys_vendor", "QEMU\n");
    Write(dir_ / "dmi" / "product_name", "Standard PC (Q35 + ICH9, 2009)  \n");
    Write(dir_ / "machines.conf", kListed);
    SetRegister(0x7F);
  }

  static void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  // The EC's register file as ec_sys shows it, 0x93 set.
  void SetRegister(uint8_t value, size_t size = 256) {
    std::string io(size, '\0');
    if (size > 0x93) {
      io[0x93] = static_cast<char>(value);
    }
    Write(dir_ / "io", io);
  }
  void TearDown() override {
    SetImmutable(false);
    fs::remove_all(dir_);
  }

  void Store(const Bytes& bytes) {
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  std::optional<Bytes> Stored() const {
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
      return std::nullopt;
    }
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  Result Run(Args args, const ec_setup::VariableIo& io = ec_setup::FileIo()) {
    args.insert(args.begin(),
                {"--efivars", dir_.string(), "--ec-io", (dir_ / "io").string(), "--dmi",
                 (dir_ / "dmi").string(), "--config", (dir_ / "machines.conf").string()});
    std::ostringstream out, err;
    const int status = ec_setup::RunEcSetup(args, out, err, io);
    return {status, out.str(), err.str()};
  }

  // errno of the ioctl, 0 when done.
  int SetImmutable(bool on) {
    const int fd = open(path_.c_str(), O_RDONLY);
    int flags = 0;
    int error = fd < 0 ? errno : 0;
    if (error == 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
      error = errno;
    }
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    if (error == 0 && ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) {
      error = errno;
    }
    if (fd >= 0) {
      close(fd);
    }
    return error;
  }

  bool Immutable() const {
    const int fd = open(path_.c_str(), O_RDONLY);
    int flags = 0;
    const bool got = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    close(fd);
    return got && (flags & FS_IMMUTABLE_FL) != 0;
  }

  fs::path dir_;
  std::string path_;
};

bool Matches(const std::string& text, const std::string& pattern) {
  return std::regex_search(text, std::regex(pattern));
}

void ExpectOneLine(const std::string& err) {
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(EcSetup, EachChangeRewritesOnlyItsBytes) {
  SetRegister(0xFF);
  const struct {
    Args args;
    uint32_t attributes;
    EcBytes before, after;
    const char* output;
  } cases[] = {
      {{"request-update"},
       kNvBsRt,
       {0, 1, 0x42},
       {1, 1, 0x42},
       "byte 3172 .*0x00 -> 0x01.*\nnote: .*5-second"},
      {{"request-update"}, 0x80000007, {2, 0, 0}, {1, 0, 0}, "0x02 -> 0x01.*attributes 0x80000007"},
      {{"cancel-update"}, kNvBsRt, {1, 1, 0x42}, {0, 1, 0x42}, "byte 3172 .*0x01 -> 0x00"},
      {{"guard", "on", "0x80"},
       kNvBsRt,
       {1, 0, 0},
       {1, 1, 0x80},
       "3176 .*-> 0x01, .*3177 .*-> 0x80"},
      {{"guard", "on", "255"}, kNvBsRt, {0, 5, 0x10}, {0, 1, 0xFF}, "0x05 -> 0x01.*0x10 -> 0xFF"},
      {{"guard", "off"}, kNvBsRt, {1, 1, 0x42}, {1, 0, 0x42}, "byte 3176 .*0x01 -> 0x00"},
      {{"request-update"}, kNvBsRt, {1, 0, 0}, {1, 0, 0}, "already holds that; nothing written"},
      {{"guard", "on", "7", "--dry-run"},
       kNvBsRt,
       {0, 0, 0},
       {0, 0, 0},
       "would set.*nothing written"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    Store(FileOf(c.attributes, kBuffer, c.before));
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Matches(r.out, c.output)) << r.out;
    EXPECT_EQ(Stored(), FileOf(c.attributes, kBuffer, c.after));
  }
}

// Where each change must stop: the request needs 3173 bytes, the guard 3178,
// and the drivers read at most 3180.
TEST_F(EcSetup, SizeRules) {
  const Args request = {"request-update"}, guard = {"guard", "on", "9"};
  const struct {
    size_t size;
    const Args& args;
    bool accepted;
    const char* refusal;
  } cases[] = {
      {3172, request, false,
       "3172 bytes: the update request is byte 3172, so it needs at least 3173"},
      {3173, request, true, ""},
      {3177, request, true, ""},
      {3177, guard, false,
       "3177 bytes: the guard threshold is byte 3177, so it needs at least 3178"},
      {3178, guard, true, ""},
      {3180, guard, true, ""},
      {3181, request, false,
       "3181 bytes, larger than the drivers' 3180-byte buffer: they cannot read"},
      {3181, guard, false, "larger than the drivers' 3180-byte buffer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " " + c.args[0]);
    Store(FileOf(kNvBsRt, c.size));
    const Result r = Run(c.args);
    Bytes expected = FileOf(kNvBsRt, c.size);
    if (c.accepted) {
      EXPECT_EQ(r.status, 0) << r.err;
      expected = c.args == request ? FileOf(kNvBsRt, c.size, {1, 0, 0})
                                   : FileOf(kNvBsRt, c.size, {0, 1, 9});
    } else {
      EXPECT_EQ(r.status, 3);
      EXPECT_TRUE(Matches(r.err, c.refusal)) << r.err;
      ExpectOneLine(r.err);
    }
    EXPECT_EQ(Stored(), expected);
  }
}

// A firmware that refuses SetVariable: efivarfs's errno for each refusal.
ec_setup::VariableIo Refusing(int error) {
  ec_setup::VariableIo io = ec_setup::FileIo();
  io.write = [error](const std::string&, std::span<const uint8_t>) {
    return std::optional<ec_setup::IoFailure>({"write", error});
  };
  return io;
}

// Each refusal's own exit status: a script tells them apart by it alone.
TEST_F(EcSetup, RefusalsAreOneLineWithTheirStatusAndWriteNothing) {
  const Bytes normal = FileOf(kNvBsRt, kBuffer, {0, 1, 0x42});
  const std::optional<Bytes> absent;
  const ec_setup::VariableIo files = ec_setup::FileIo();
  const struct {
    std::optional<Bytes> file;
    Args args;
    ec_setup::VariableIo io;
    int status;
    const char* refusal;
  } cases[] = {
      {absent, {"request-update"}, files, 3, "no Setup variable: .*Setup-ec87d643"},
      {absent, {"show"}, files, 3, "no Setup variable"},
      {Bytes{7, 0}, {"request-update"}, files, 3, "holds 2 bytes, fewer than the 4"},
      {normal, {"guard", "on", "256"}, files, 2, "threshold '256' is out of 0..255"},
      {normal, {"guard", "on", "0x100"}, files, 2, "'0x100' is out of 0..255"},
      {normal, {"guard", "on", "-1"}, files, 2, "'-1' is out of 0..255"},
      {normal, {"guard", "on"}, files, 2, "guard on needs one THRESHOLD"},
      {normal, {"update"}, files, 2, "unknown command 'update'"},
      {normal, {"show", "--force"}, files, 2, "--force goes with a change"},
      {FileOf(0x47, kBuffer), {"request-update"}, files, 3, "0x00000047 .*append write"},
      {FileOf(0x27, kBuffer), {"guard", "off"}, files, 3, "time-based authenticated"},
      {normal, {"request-update"}, Refusing(EPERM), 5, "refused \\(write: Operation not permitted"},
      {normal, {"request-update"}, Refusing(EACCES), 5, "refused \\(write: Permission denied"},
      {normal, {"guard", "off"}, Refusing(EINVAL), 5, "refused \\(write: Invalid argument"},
      {normal, {"guard", "on", "9"}, Refusing(EROFS), 5, "refused \\(write: Read-only file system"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " -> " + c.refusal);
    fs::remove(path_);
    if (c.file) {
      Store(*c.file);
    }
    const Result r = Run(c.args, c.io);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(Matches(r.err, std::string("^ec-setup: .*") + c.refusal)) << r.err;
    ExpectOneLine(r.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Stored(), c.file);
  }
}

// A firmware that stores something other than what it was given.
TEST_F(EcSetup, ReadBackThatDiffersIsExitOne) {
  const struct {
    std::function<void(Bytes&)> corrupt;
    const char* differs;
  } cases[] = {
      {[](Bytes& f) { f[4 + 100] ^= 0xFF; }, "byte 100 is 0x9B, written 0x64"},
      {[](Bytes& f) { f[0] = 0x03; }, "attributes 0x00000003, written 0x00000007"},
      {[](Bytes& f) { f.resize(4 + 3000); }, "size 3000 bytes, written 3180"},
      {[](Bytes& f) { f[4 + kRequest] = 0; }, "byte 3172 is 0x00, written 0x01"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.differs);
    Store(FileOf(kNvBsRt, kBuffer));
    ec_setup::VariableIo io = ec_setup::FileIo();
    io.write = [this, &c](const std::string&, std::span<const uint8_t> bytes) {
      Bytes stored(bytes.begin(), bytes.end());
      c.corrupt(stored);
      Store(stored);
      return std::optional<ec_setup::IoFailure>();
    };
    const Result r = Run({"request-update"}, io);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Matches(r.err, std::string("read back differs.*") + c.differs)) << r.err;
  }
}

TEST_F(EcSetup, ShowReportsWhatTheDriversWouldSee) {
  const struct {
    Bytes file;
    Args args;
    const char* shown;
  } cases[] = {
      {FileOf(kNvBsRt, kBuffer, {1, 1, 0xFF}),
       {"show"},
       "3180 bytes\nfile        .*\nattributes  0x00000007 \\(non-volatile, boot-service access, "
       "runtime "
       "access\\)\n"
       "update      requested .*next boot\nguard       on .*threshold 255 .*below 255\n"
       "EC 0x93     0x7F now .*live.*\nnext boot   powers off during DXE"},
      {FileOf(kNvBsRt, kBuffer, {2, 0, 7}),
       {"show"},
       "not requested \\(byte 3172 = 0x02\\): only 1"},
      {FileOf(kNvBsRt, 3177), {"show"}, "guard       off .*threshold absent: .*before byte 3177"},
      {FileOf(kNvBsRt, 3181), {"show"}, "3181 bytes, larger .*\n.*\n.*\nupdate      unread"},
      {FileOf(kNvBsRt, kBuffer, {1, 1, 0x80}),
       {"show", "--json"},
       "\"size\": 3180, .*\"attributes\": 7, \"attribute_names\": \\[\"non-volatile\", "
       "\"boot-service access\", \"runtime access\"\\], \"drivers_can_read\": true, "
       "\"update_request\": 1, "
       "\"update_requested\": true, \"guard_enable\": 1, \"guard_on\": true, \"guard_threshold\": "
       "128, \"ec_register_0x93\": 127, .*\"next_boot_powers_off\": true, .*\"machine_listed\": "
       "true"},
      {FileOf(kNvBsRt, 3176),
       {"show", "--json"},
       "\"update_request\": 0, .*\"guard_enable\": null, \"guard_on\": null, \"guard_threshold\": "
       "null"},
      {FileOf(kNvBsRt, 3181),
       {"show", "--json"},
       "\"drivers_can_read\": false, \"update_request\": null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    Store(c.file);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Matches(r.out, c.shown)) << r.out;
    EXPECT_EQ(Stored(), c.file);
  }
}

// efivarfs marks variable files immutable; a plain file system may too.
TEST_F(EcSetup, ImmutableFlagIsLiftedForTheWriteAndSetAgain) {
  Store(FileOf(kNvBsRt, kBuffer));
  if (const int error = SetImmutable(true); error != 0) {
    GTEST_SKIP() << "this file system (or user) cannot set the immutable flag: "
                 << std::strerror(error);
  }
  const Result r = Run({"guard", "on", "0x30"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Immutable());
  EXPECT_TRUE(Matches(Run({"show"}).out, "\nfile        immutable flag set")) << Run({"show"}).out;
  SetImmutable(false);
  EXPECT_EQ(Stored(), FileOf(kNvBsRt, kBuffer, {0, 1, 0x30}));
}

// A plain file keeps what a shorter write leaves uncovered, and a longer one
// grows it, where efivarfs would set the variable to exactly what was written:
// the rewrite goes in only when it covers the file exactly.
TEST_F(EcSetup, RewriteCoversTheFileExactlyOrNotAtAll) {
  const Bytes file = FileOf(kNvBsRt, kBuffer);
  for (const size_t size : {file.size() - 1, file.size() + 1}) {
    SCOPED_TRACE(size);
    Store(file);
    const Bytes other(size, 0xA5);
    const std::optional<ec_setup::IoFailure> failure = ec_setup::FileIo().write(path_, other);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(Matches(failure->step, "check the size: the file now holds 3184 bytes"))
        << failure->step;
    EXPECT_EQ(Stored(), file);
  }
}

// The guard against EC register 0x93 (0x7F unless the case sets the io file):
// a guard set above the reading powers off every boot, so it is refused.
TEST_F(EcSetup, GuardIsCheckedAgainstTheRegisterNow) {
  const EcBytes off = {0, 0, 0x42}, on_ff = {0, 1, 0xFF};
  const struct {
    Args args;
    std::optional<size_t> io_size; // nullopt: no io file
    EcBytes before, after;
    int status;
    const char* err;
  } cases[] = {
      {{"guard", "on", "0xFF"},
       256,
       off,
       off,
       4,
       "^ec-setup: EC register 0x93 reads 0x7F now, "
       "below the guard's threshold 0xFF: the next boot"},
      {{"guard", "on", "0x80"}, 256, off, off, 4, "reads 0x7F now, below .* 0x80"},
      {{"guard", "on", "0xFF", "--dry-run"}, 256, off, off, 4, "refused, nothing written"},
      {{"guard", "on", "0x7F"}, 256, off, {0, 1, 0x7F}, 0, "^$"},
      {{"guard", "on", "0x10"}, 0x94, off, {0, 1, 0x10}, 0, "^$"},
      {{"guard", "on", "0xFF", "--force"}, 256, off, on_ff, 0, "warning: .*written anyway"},
      {{"guard", "on", "9"}, 0x93, off, off, 3, "io ends before register 0x93; nothing written"},
      {{"guard", "on", "9"}, std::nullopt, off, off, 3, "cannot open .*io: No such file"},
      {{"guard", "on", "9", "--force"}, std::nullopt, off, {0, 1, 9}, 0, "unchecked|anyway"},
      {{"request-update"}, 256, on_ff, {1, 1, 0xFF}, 0, "warning: .*0x7F.*already so"},
      {{"guard", "off"}, std::nullopt, on_ff, {0, 0, 0xFF}, 0, "^$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 2 ? c.args[2] : ""));
    fs::remove(dir_ / "io");
    if (c.io_size) {
      SetRegister(0x7F, *c.io_size);
    }
    Store(FileOf(kNvBsRt, kBuffer, c.before));
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(Matches(r.err, c.err)) << r.err;
    EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Stored(), FileOf(kNvBsRt, kBuffer, c.after));
  }
}

// Changes only where the configuration lists the machine; a bad list or a
// machine without an identity changes nothing.
TEST_F(EcSetup, WritesOnlyOnListedMachines) {
  const std::string board = "[machine]\nsys_vendor = QEMU\nproduct_name = Standard PC (Q35 + ICH9, "
                            "2009)\nboard_name = Rig\n";
  const struct {
    std::string config;
    bool product_name; // the DMI folder has it
    int status;
    const char* err;
  } cases[] = {
      {kListed, true, 0, "^$"},
      {std::string("[machine]\nsys_vendor=Other\nproduct_name=X\n") + kListed, true, 0, "^$"},
      {"[machine]\nsys_vendor = QEMU\nproduct_name = Standard PC\n", true, 3,
       "this machine \\(sys_vendor 'QEMU', product_name 'Standard PC \\(Q35 \\+ ICH9, 2009\\)', "
       "board_vendor '', board_name ''\\) is not listed in .*machines.conf; add it to "},
      {board, true, 3, "is not listed"},
      {"", true, 3, "is not listed"},
      {kListed, false, 3, "no machine identity: .*dmi/product_name is missing"},
      {std::string(kListed) + "colour = blue\n", true, 2,
       "machines.conf line 5: unknown key 'colour'"},
      {"sys_vendor = QEMU\n", true, 2, "line 1: 'sys_vendor' before the first \\[machine\\]"},
      {"[machine]\nsys_vendor = QEMU\n", true, 2, "machines.conf:1: the entry has no product_name"},
      {"[machine]\nsys_vendor QEMU\n", true, 2, "line 2: expected \\[machine\\] or KEY = VALUE"},
      {std::string(kListed) + "sys_vendor = QEMU\n", true, 2, "line 5: 'sys_vendor' given twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.config);
    Write(dir_ / "machines.conf", c.config);
    if (!c.product_name) {
      fs::remove(dir_ / "dmi" / "product_name");
    }
    const Bytes before = FileOf(kNvBsRt, kBuffer);
    Store(before);
    const Result r = Run({"request-update"});
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(Matches(r.err, c.err)) << r.err;
    EXPECT_EQ(Stored(), c.status == 0 ? FileOf(kNvBsRt, kBuffer, {1, 0, 0}) : before);
    if (c.status != 0) {
      ExpectOneLine(r.err);
      const Result shown = Run({"show"});
      EXPECT_EQ(shown.status, 0);
      EXPECT_TRUE(Matches(shown.out, "\nmachine     not listed, changes refused: ")) << shown.out;
    }
    Write(dir_ / "dmi" / "product_name", "Standard PC (Q35 + ICH9, 2009)\n");
  }
}

// Another tool changes Setup after ec-setup read it: writing back would undo
// that change, so nothing is written.
TEST_F(EcSetup, AnotherWriterBetweenReadAndWriteIsRefused) {
  const Bytes first = FileOf(kNvBsRt, kBuffer), other = FileOf(kNvBsRt, kBuffer, {0, 0, 0x55});
  Store(first);
  int reads = 0;
  ec_setup::VariableIo io = ec_setup::FileIo();
  const auto read = io.read;
  io.read = [&](const std::string& path, Bytes& bytes) {
    if (++reads == 2) {
      Store(other);
    }
    return read(path, bytes);
  };
  const Result r = Run({"request-update"}, io);
  EXPECT_EQ(r.status, 6);
  EXPECT_TRUE(Matches(r.err, "^ec-setup: Setup changed since it was read \\(byte 3177 is 0x55, "
                             "was 0x00\\); nothing written, run again\n$"))
      << r.err;
  EXPECT_EQ(Stored(), other);
}

// --json: the outcome and status it reports are the ones the run ends with.
TEST_F(EcSetup, JsonReportsTheOutcomeTheStatusSays) {
  const struct {
    Args args;
    EcBytes before;
    int status;
    const char* json;
  } cases[] = {
      {{"guard", "on", "0x20"},
       {0, 0, 0},
       0,
       "\"outcome\": \"changed\", \"exit_status\": 0, \"reason\": null, \"before\": "
       "\\{\"update_request\": 0, \"guard_enable\": 0, \"guard_threshold\": 0\\}, \"after\": "
       "\\{\"update_request\": 0, \"guard_enable\": 1, \"guard_threshold\": 32\\}, "
       "\"ec_register_0x93\": 127, \"warnings\": \\[\\]"},
      {{"request-update"}, {1, 0, 0}, 0, "\"outcome\": \"already_so\", \"exit_status\": 0"},
      {{"cancel-update", "--dry-run"},
       {1, 0, 0},
       0,
       "\"dry_run\", .*\"after\": \\{\"update_request\": 0,"},
      {{"guard", "on", "0xFF"},
       {0, 0, 0},
       4,
       "\"refused\", \"exit_status\": 4, \"reason\": \"EC register .*\"after\": "
       "\\{\"update_request\": 0, \"guard_enable\": 0,"},
      {{"guard", "on", "0xFF", "--force"},
       {0, 0, 0},
       0,
       "\"changed\", .*\"warnings\": \\[\"EC register 0x93 reads 0x7F"},
      {{"guard"}, {0, 0, 0}, 2, "\"command\": null, \"outcome\": \"refused\", \"exit_status\": 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    Store(FileOf(kNvBsRt, kBuffer, c.before));
    Args args = c.args;
    args.push_back("--json");
    const Result r = Run(args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(Matches(r.out, std::string("^\\{.*") + c.json + ".*\\}\n$")) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  }
}

} // namespace
