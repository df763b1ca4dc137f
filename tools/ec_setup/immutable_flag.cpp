// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_setup/immutable_flag.h"

#include <cerrno>
#include <linux/fs.h>
#include <sys/ioctl.h>

namespace ec_setup {

namespace {

// errno values by which a file system says it keeps no inode flags.
bool NoInodeFlags(int error) {
  return error == ENOTTY || error == EOPNOTSUPP || error == ENOSYS;
}

} // namespace

std::optional<bool> ImmutableFlagOf(int fd) {
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
    return std::nullopt;
  }
  return (flags & FS_IMMUTABLE_FL) != 0;
}

ImmutableFlagLift::ImmutableFlagLift(int fd) : fd_(fd) {
  if (ioctl(fd_, FS_IOC_GETFLAGS, &flags_) != 0) {
    if (!NoInodeFlags(errno)) {
      failure_ = IoFailure{"read the immutable flag", errno};
    }
    return;
  }
  if ((flags_ & FS_IMMUTABLE_FL) == 0) {
    return;
  }
  int cleared = flags_ & ~FS_IMMUTABLE_FL;
  if (ioctl(fd_, FS_IOC_SETFLAGS, &cleared) != 0) {
    failure_ = IoFailure{"clear the immutable flag", errno};
    return;
  }
  lifted_ = true;
}

std::optional<IoFailure> ImmutableFlagLift::Restore() {
  if (!lifted_) {
    return std::nullopt;
  }
  lifted_ = false;
  if (ioctl(fd_, FS_IOC_SETFLAGS, &flags_) != 0) {
    return IoFailure{"set the immutable flag again", errno};
  }
  return std::nullopt;
}

ImmutableFlagLift::~ImmutableFlagLift() {
  (void)Restore();
}

} // namespace ec_setup
