// SPDX-License-Identifier: BSD-2-Clause-Patent
// efivarfs_probe EFIVARS_DIR PLAIN_DIR: the same writes to a scratch UEFI
// variable and to a plain file, side by side, one line per step. It shows
// why ec-setup writes as it does: efivarfs turns every write(2) into one
// SetVariable call that replaces the whole variable, where a plain file keeps
// what a write does not cover. Test-only, run in the Linux guest.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A GUID of the tests' own, never one the firmware uses.
constexpr const char* kProbeName = "EcSetupProbe-5b0f6f7e-3c1d-4e8a-9a64-2d7c1e9b4f30";
const std::string kNvBsRt("\x07\0\0\0", 4);
const std::string kNvBs("\x03\0\0\0", 4);

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// Size and the bytes after the attributes, or why they could not be read.
std::string Contents(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    return Errno("open");
  }
  char buffer[64];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  close(fd);
  if (got < 0) {
    return Errno("read");
  }
  std::string text = std::to_string(got) + " bytes, attributes " +
                     std::to_string(got >= 4 ? static_cast<unsigned char>(buffer[0]) : 0) +
                     ", data '";
  for (ssize_t i = 4; i < got; ++i) {
    text += buffer[i] >= 0x20 && buffer[i] < 0x7F ? buffer[i] : '.';
  }
  return text + "'";
}

std::string Immutable(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  int flags = 0;
  const bool got = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  std::string state =
      got ? ((flags & FS_IMMUTABLE_FL) ? "immutable" : "not immutable") : Errno("FS_IOC_GETFLAGS");
  if (got && (flags & FS_IMMUTABLE_FL)) {
    flags &= ~FS_IMMUTABLE_FL;
    state += ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 ? ", cleared" : ", " + Errno("clear");
  }
  if (fd >= 0) {
    close(fd);
  }
  return state;
}

// Each piece in its own write(2) on one descriptor opened without O_TRUNC.
std::string Write(const std::string& path, const std::vector<std::string>& pieces, int flags = 0) {
  const int fd = open(path.c_str(), O_WRONLY | flags, 0644);
  if (fd < 0) {
    return Errno("open");
  }
  std::string result;
  for (const std::string& piece : pieces) {
    if (write(fd, piece.data(), piece.size()) < 0) {
      result = Errno("write");
      break;
    }
  }
  close(fd);
  return result.empty() ? Contents(path) : result + "; now " + Contents(path);
}

struct Step {
  const char* what;
  std::vector<std::string> pieces;
  int flags;
};

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: efivarfs_probe EFIVARS_DIR PLAIN_DIR\n");
    return 2;
  }
  const std::string paths[] = {std::string(argv[1]) + "/" + kProbeName,
                               std::string(argv[2]) + "/" + kProbeName};
  const char* const kinds[] = {"efivarfs", "plain file"};
  const Step steps[] = {
      {"create, 4+10 bytes", {kNvBsRt + "ABCDEFGHIJ"}, O_CREAT},
      {"one write of 4+3 bytes over it", {kNvBsRt + "XYZ"}, 0},
      {"4+10 bytes in two writes of 7", {kNvBsRt + "abc", "defghij"}, 0},
      {"a 2-byte write", {std::string("\x07\0", 2)}, 0},
      {"4+3 bytes with other attributes (NV+BS)", {kNvBs + "xyz"}, 0},
  };
  for (const Step& step : steps) {
    for (int k = 0; k < 2; ++k) {
      const std::string result = Write(paths[k], step.pieces, step.flags);
      std::printf("probe %-40s %-10s -> %s\n", step.what, kinds[k], result.c_str());
      if (step.flags & O_CREAT) {
        std::printf("probe %-40s %-10s -> %s\n", "immutable flag after create", kinds[k],
                    Immutable(paths[k]).c_str());
      }
    }
  }
  for (int k = 0; k < 2; ++k) {
    std::printf("probe %-40s %-10s -> %s\n", "unlink", kinds[k],
                unlink(paths[k].c_str()) == 0 ? "removed" : Errno("unlink").c_str());
  }
  return 0;
}
