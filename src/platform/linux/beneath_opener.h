// Opening directories of a drive from its mount point without following a
// symbolic link at any step and without entering another filesystem.
#pragma once

#include <string>
#include <string_view>

#include "platform/linux/drive_table.h"
#include "platform/linux/sys_calls.h"

namespace tidwen {

class BeneathOpener {
 public:
  explicit BeneathOpener(SysCalls& sys) : sys_(sys) {}

  // Opens a drive's mount point as a directory (O_PATH), from "/" without
  // following a link at any step. A drive of the mount table must still be
  // the mount it was when the table was read (the same mount ID, unique
  // mount ID, root device and filesystem identity): a mount point that
  // leads elsewhere now (its filesystem unmounted, another mounted in its
  // place, or a directory on the way replaced by a link) fails with
  // -ENODEV. Returns the descriptor, or the negated errno.
  int OpenMountPoint(const Drive& drive);

  // Opens the directory at an absolute path as O_PATH without following a
  // link at any step, crossing mounts as the path goes. Returns the
  // descriptor, or the negated errno (-ELOOP for a link on the way).
  int OpenNoSymlinks(const std::string& absolutePath);

  // Opens the directory at relative ("a/b"; empty for the root itself) below
  // rootFd, a directory open on the drive's mount point. flags is O_RDONLY
  // or O_PATH; O_DIRECTORY and O_CLOEXEC are added. Returns the descriptor or
  // the negated errno: -ELOOP when a component is a symbolic link, -EXDEV
  // when one is the mount point of another filesystem (a bind mount of the
  // same one included), -ENOTDIR or -ENOENT as the kernel says.
  //
  // Uses openat2(2) with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS |
  // RESOLVE_NO_XDEV, in pieces when the path is longer than one call takes.
  // Where openat2 is missing or blocked it walks one component at a time
  // with O_NOFOLLOW and checks every step for a mount.
  int OpenBeneath(int rootFd, std::string_view relative, int flags);

  // Whether openat2 is in use; false after falling back. For tests.
  bool UsesOpenAt2() const { return mode_ != Mode::kPerComponent; }

 private:
  enum class Mode { kUnknown, kOpenAt2, kPerComponent };

  int OpenAt2Once(int dirFd, const char* path, int flags);
  int OpenWithOpenAt2(int rootFd, std::string_view relative, int flags);
  int OpenPerComponent(int rootFd, std::string_view relative, int flags);
  // Decides between openat2 and the per-component walk on first use.
  void Probe(int rootFd);

  SysCalls& sys_;
  Mode mode_ = Mode::kUnknown;
  std::string piece_;  // reused buffer for one piece of a long path
};

}  // namespace tidwen
