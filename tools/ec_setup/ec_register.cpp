// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/ec_register.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <spawn.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ec_setup {

namespace {

constexpr const char* kDebugfs = "/sys/kernel/debug";

// modprobe's own messages go to /dev/null: the reason ec-setup gives is its
// one line.
bool LoadEcSys() {
  const char* const argv[] = {"modprobe", "-q", "ec_sys", nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&quiet, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  // posix_spawnp searches PATH: root's and sudo's hold /sbin.
  const int spawned =
      posix_spawnp(&pid, "modprobe", &quiet, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&quiet);
  int status = 0;
  return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

bool DebugfsMounted() {
  struct statfs fs {};
  return statfs(kDebugfs, &fs) == 0 && fs.f_type == DEBUGFS_MAGIC;
}

// The default io file is missing: ec_sys refuses to load on a machine whose
// ACPI declares no EC, so a failed modprobe mostly means exactly that.
std::string WhyMissing(bool load_tried) {
  if (!DebugfsMounted()) {
    return "debugfs is not mounted on /sys/kernel/debug";
  }
  if (!load_tried) {
    return "ec_sys is not loaded, and only root may load it";
  }
  return "modprobe ec_sys failed: no EC declared to ACPI, or no ec_sys module";
}

} // namespace

EcReading ReadGuardRegister(const std::string& io_path, bool load_module) {
  int fd = open(io_path.c_str(), O_RDONLY | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
  // Without debugfs the module would load and still show nothing.
  const bool load_tried = error == ENOENT && load_module && DebugfsMounted();
  if (load_tried && LoadEcSys()) {
    fd = open(io_path.c_str(), O_RDONLY | O_CLOEXEC);
    error = fd < 0 ? errno : 0;
  }
  if (fd < 0) {
    if (error == ENOENT && io_path == kDefaultEcIo) {
      return {std::nullopt, WhyMissing(load_tried)};
    }
    return {std::nullopt, "cannot open " + io_path + ": " + std::strerror(error)};
  }
  uint8_t value = 0;
  const ssize_t got = pread(fd, &value, 1, kGuardRegister);
  error = errno;
  close(fd);
  if (got == 1) {
    return {value, ""};
  }
  if (got == 0) {
    return {std::nullopt, io_path + " ends before register 0x93"};
  }
  return {std::nullopt, "cannot read register 0x93 from " + io_path + ": " + std::strerror(error)};
}

} // namespace ec_setup
