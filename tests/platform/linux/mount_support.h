// Real mounts for tests, made in a private mount namespace of a child
// process (see RunInChild) so that nothing outside the child sees them.
#pragma once

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/linux/drive_table.h"

namespace tidwen::test {

// A drive as the drive list words it: "d: [/media/stick]".
inline std::string DriveListText(const Drive& drive) {
  return std::string{drive.letter} + ": [" + drive.mountPoint + "]";
}

inline std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// Moves the calling process into a mount namespace of its own.
inline std::string PrivateMounts() {
  if (::unshare(CLONE_NEWNS) != 0) return Errno("no private mount namespace here");
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return Errno("cannot make mounts private");
  }
  return {};
}

// Makes an ext4 image of 8 MiB; inodeSize 128 gives a filesystem whose
// times have whole seconds and no birth time.
inline std::string MakeExt4Image(const std::string& image, int inodeSize = 256) {
  const std::string mkfs = "truncate -s 8M '" + image + "' && mkfs.ext4 -q -F -I " +
                           std::to_string(inodeSize) + " '" + image + "' >/dev/null 2>&1";
  if (std::system(mkfs.c_str()) != 0) return "cannot make an ext4 image (mkfs.ext4 missing?)";
  return {};
}

// Makes an ext4 image (as MakeExt4Image) and loop-mounts it at target.
inline std::string MountExt4(const std::string& image, const std::string& target,
                             int inodeSize = 256) {
  if (std::string error = MakeExt4Image(image, inodeSize); !error.empty()) return error;
  const std::string mount = "mount -o loop '" + image + "' '" + target + "' 2>/dev/null";
  if (std::system(mount.c_str()) != 0) return "cannot loop-mount an image here";
  return {};
}

inline std::string MountTmpfs(const std::string& target) {
  if (::mount("tidwen-test", target.c_str(), "tmpfs", 0, "size=1m") != 0) {
    return Errno("cannot mount a tmpfs on " + target);
  }
  return {};
}

// Bind-mounts the directory at source on target.
inline std::string BindMount(const std::string& source, const std::string& target) {
  if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    return Errno("cannot bind-mount " + source);
  }
  return {};
}

}  // namespace tidwen::test
