// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/variable_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/ec_setup/immutable_flag.h"

namespace ec_setup {

namespace {

class FileDescriptor {
public:
  FileDescriptor(const std::string& path, int flags) : fd_(open(path.c_str(), flags | O_CLOEXEC)) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};

std::optional<IoFailure> ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  const FileDescriptor file(path, O_RDONLY);
  if (file.get() < 0) {
    return IoFailure{"open", errno};
  }
  bytes.clear();
  uint8_t chunk[4096];
  while (true) {
    const ssize_t got = read(file.get(), chunk, sizeof chunk);
    if (got < 0) {
      return IoFailure{"read", errno};
    }
    if (got == 0) {
      return std::nullopt;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
}

// efivarfs turns each write(2) into one SetVariable call with the attributes
// and data it carries, whatever the file offset: a second write would set the
// variable again to only what that write held. So the whole variable goes in
// one call. A plain file keeps whatever a shorter write does not cover, so
// the size is checked first: the bytes written always cover the file exactly.
std::optional<IoFailure> RewriteFile(const std::string& path, std::span<const uint8_t> bytes) {
  const FileDescriptor reader(path, O_RDONLY);
  if (reader.get() < 0) {
    return IoFailure{"open", errno};
  }
  ImmutableFlagLift lift(reader.get());
  if (lift.failure()) {
    return lift.failure();
  }
  std::optional<IoFailure> failure;
  {
    // No O_TRUNC, no O_CREAT: the variable must exist, and opening it must
    // not already change it.
    const FileDescriptor writer(path, O_WRONLY);
    struct stat status {};
    if (writer.get() < 0) {
      failure = IoFailure{"open for writing", errno};
    } else if (fstat(writer.get(), &status) != 0) {
      failure = IoFailure{"stat", errno};
    } else if (static_cast<size_t>(status.st_size) != bytes.size()) {
      failure = IoFailure{"check the size: the file now holds " + std::to_string(status.st_size) +
                              " bytes, not the " + std::to_string(bytes.size()) + " read",
                          0};
    } else {
      const ssize_t put = write(writer.get(), bytes.data(), bytes.size());
      if (put < 0) {
        failure = IoFailure{"write", errno};
      } else if (static_cast<size_t>(put) != bytes.size()) {
        failure = IoFailure{"write: " + std::to_string(put) + " of " +
                                std::to_string(bytes.size()) + " bytes taken",
                            0};
      }
    }
  }
  std::optional<IoFailure> restored = lift.Restore();
  if (failure) {
    return failure;
  }
  if (restored) {
    restored->after_write = true;
  }
  return restored;
}

std::optional<bool> FileImmutable(const std::string& path) {
  const FileDescriptor file(path, O_RDONLY);
  return file.get() < 0 ? std::nullopt : ImmutableFlagOf(file.get());
}

} // namespace

VariableIo FileIo() {
  return VariableIo{ReadFile, RewriteFile, FileImmutable};
}

} // namespace ec_setup
