// Real mounts for tests, made in a private mount namespace of a child
// process (see RunInChild) so that nothing outside the child sees them.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

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

// Whether the directory at path is the root of a mount.
inline bool IsMountRoot(const std::string& path) {
  struct statx stx {};
  return ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, 0, &stx) == 0 &&
         (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
         (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// A FUSE filesystem, mounted by its daemon run in the foreground as a child
// of the calling process, for as long as the object lives. The daemon dies
// with the process that started it, so a test that fails or crashes leaves
// neither a daemon nor, in a private mount namespace (PrivateMounts), a
// mount. Mount in the process whose namespace is to hold the mount.
class FuseMount {
 public:
  FuseMount() = default;
  ~FuseMount() { Unmount(); }
  FuseMount(const FuseMount&) = delete;
  FuseMount& operator=(const FuseMount&) = delete;

  // Runs argv, a FUSE daemon told to stay in the foreground (-f), and waits
  // until target is the root of a mount. "" or why not (the daemon is not
  // installed, or it ended without mounting).
  std::string Mount(const std::vector<std::string>& argv, const std::string& target) {
    Unmount();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return Errno("fork");
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(1);
      const int devNull = ::open("/dev/null", O_RDWR);
      ::dup2(devNull, STDIN_FILENO);
      ::dup2(devNull, STDOUT_FILENO);
      ::dup2(devNull, STDERR_FILENO);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execvp(args[0], args.data());
      ::_exit(127);
    }
    daemon_ = pid;
    target_ = target;
    // Waits for the mount, not for a time: the daemon mounts or ends.
    for (int i = 0; i < 3000; ++i) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        daemon_ = -1;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return argv[0] + " is not installed";
        return argv[0] + " ended without mounting " + target;
      }
      if (IsMountRoot(target)) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Unmount();
    return argv[0] + " did not mount " + target + " within 30 s";
  }

  // Unmounts and ends the daemon; nothing when nothing is mounted.
  void Unmount() {
    if (daemon_ <= 0) return;
    if (::umount2(target_.c_str(), 0) != 0) ::umount2(target_.c_str(), MNT_DETACH);
    ::kill(daemon_, SIGTERM);
    ::waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
  }

 private:
  pid_t daemon_ = -1;
  std::string target_;
};

// bindfs showing the directory at source at target.
inline std::string MountBindfs(FuseMount& mount, const std::string& source,
                               const std::string& target) {
  return mount.Mount({"bindfs", "-f", source, target}, target);
}

// An ext4 image made at image (see MakeExt4Image), served by fuse2fs at
// target.
inline std::string MountFuse2fs(FuseMount& mount, const std::string& image,
                                const std::string& target) {
  if (std::string error = MakeExt4Image(image); !error.empty()) return error;
  return mount.Mount({"fuse2fs", "-f", image, target}, target);
}

}  // namespace tidwen::test
