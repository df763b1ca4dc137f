// SPDX-License-Identifier: BSD-2-Clause-Patent
// efivarfs marks most variable files immutable (FS_IMMUTABLE_FL), so that a
// stray `rm` or redirect cannot delete or truncate a firmware setting. A
// deliberate write clears the flag for its duration and sets it again after.
#pragma once

#include <optional>

#include "tools/ec_setup/variable_io.h"

namespace ec_setup {

// Whether the file carries the flag; nullopt: the file system keeps no
// inode flags, or they cannot be read.
std::optional<bool> ImmutableFlagOf(int fd);

class ImmutableFlagLift {
public:
  // fd: the variable file, open read-only (an immutable file cannot be opened
  // for writing). A file system without the inode flags leaves nothing to lift.
  explicit ImmutableFlagLift(int fd);
  ~ImmutableFlagLift();
  ImmutableFlagLift(const ImmutableFlagLift&) = delete;
  ImmutableFlagLift& operator=(const ImmutableFlagLift&) = delete;

  // Set when the flag could not be read or cleared: the write must not go on.
  const std::optional<IoFailure>& failure() const { return failure_; }
  // Sets the flag again if it was cleared; a failure there is reported once.
  std::optional<IoFailure> Restore();

private:
  int fd_;
  int flags_ = 0;
  bool lifted_ = false;
  std::optional<IoFailure> failure_;
};

} // namespace ec_setup
