#include "platform/linux/beneath_opener.h"

#include <limits.h>

#include <sys/sysmacros.h>

#include <cerrno>
#include <string>

#include "platform/linux/mount_info.h"

namespace tidwen {

namespace {

constexpr unsigned long long kResolveFlags =
    RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV | RESOLVE_NO_MAGICLINKS;

// openat2 reports EAGAIN when a rename or mount raced the lookup; a few
// retries settle it.
constexpr int kRaceRetries = 8;

// The longest path handed to one openat2 call, NUL excluded.
constexpr std::size_t kMaxPiece = PATH_MAX - 1;

bool IsMountRoot(const struct statx& stx) {
  return (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
         (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

}  // namespace

int BeneathOpener::OpenNoSymlinks(const std::string& absolutePath) {
  if (absolutePath.empty() || absolutePath.front() != '/') return -EINVAL;
  if (mode_ != Mode::kPerComponent) {
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    int r = -EAGAIN;
    for (int attempt = 0; attempt < kRaceRetries && r == -EAGAIN; ++attempt) {
      r = sys_.OpenAt2(AT_FDCWD, absolutePath.c_str(), how);
    }
    if (r != -ENOSYS && r != -EPERM && r != -EINVAL && r != -E2BIG) return r;
  }
  // Without openat2: one component at a time from "/", none of them a link.
  int fd = sys_.OpenAt(AT_FDCWD, "/", O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return fd;
  UniqueFd current(sys_, fd);
  std::string_view rest(absolutePath);
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    piece_.assign(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (piece_.empty() || piece_ == ".") continue;
    if (piece_ == "..") return -ELOOP;
    fd = sys_.OpenAt(current.Get(), piece_.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC,
                     0);
    if (fd < 0) {
      struct stat st {};
      if (fd == -ENOTDIR &&
          sys_.FStatAt(current.Get(), piece_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(st.st_mode)) {
        return -ELOOP;
      }
      return fd;
    }
    current = UniqueFd(sys_, fd);
  }
  return current.Release();
}

int BeneathOpener::OpenMountPoint(const Drive& drive) {
  const int fd = OpenNoSymlinks(drive.mountPoint);
  if (fd < 0) return fd;
  UniqueFd dir(sys_, fd);
  if (drive.mountId != 0) {
    // The same mount of the same filesystem, or not ready. Mount IDs are
    // reused once a mount is gone, and a filesystem mounted anew from the
    // same loop device gets the same device number: the unique mount ID
    // and the filesystem's own identity tell them apart where known.
    MountIdentity now;
    const int r = ReadMountIdentity(sys_, fd, drive.filesystem != 0, now);
    if (r < 0) return r;
    if (now.mountId != 0 && now.mountId != drive.mountId) return -ENODEV;
    if (drive.uniqueMountId != 0 && now.uniqueMountId != drive.uniqueMountId) return -ENODEV;
    if (now.device != drive.device) return -ENODEV;
    if (drive.filesystem != 0 && now.filesystem != drive.filesystem) return -ENODEV;
    if (now.mountRootKnown && !now.mountRoot) return -ENODEV;
    return dir.Release();
  }
  struct statx stx {};
  const int r = sys_.StatX(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, 0, &stx);
  if (r == 0 && !drive.fsType.empty() && drive.mountPoint != "/" &&
      (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && !IsMountRoot(stx)) {
    // A drive of a mount table whose filesystem is gone leaves a bare
    // directory behind; listing that would show an empty drive instead of
    // saying that it is not there.
    return -ENODEV;
  }
  return dir.Release();
}

int BeneathOpener::OpenAt2Once(int dirFd, const char* path, int flags) {
  open_how how{};
  how.flags = static_cast<unsigned long long>(flags | O_DIRECTORY | O_CLOEXEC);
  how.resolve = kResolveFlags;
  int r = -EAGAIN;
  for (int attempt = 0; attempt < kRaceRetries && r == -EAGAIN; ++attempt) {
    r = sys_.OpenAt2(dirFd, path, how);
  }
  return r;
}

void BeneathOpener::Probe(int rootFd) {
  const int fd = OpenAt2Once(rootFd, ".", O_PATH);
  if (fd >= 0) {
    sys_.Close(fd);
    mode_ = Mode::kOpenAt2;
  } else if (fd == -ENOSYS || fd == -EPERM || fd == -EINVAL || fd == -E2BIG) {
    // Missing (before Linux 5.6), refused by a seccomp filter, or without
    // these resolve flags: opening "." of an open directory cannot fail
    // otherwise.
    mode_ = Mode::kPerComponent;
  }
  // Any other failure says nothing about openat2; decide on the next call.
}

int BeneathOpener::OpenBeneath(int rootFd, std::string_view relative, int flags) {
  if (mode_ == Mode::kUnknown) Probe(rootFd);
  if (mode_ == Mode::kPerComponent) return OpenPerComponent(rootFd, relative, flags);
  const int fd = OpenWithOpenAt2(rootFd, relative, flags);
  if (fd == -ENOSYS) {
    mode_ = Mode::kPerComponent;
    return OpenPerComponent(rootFd, relative, flags);
  }
  return fd;
}

int BeneathOpener::OpenWithOpenAt2(int rootFd, std::string_view relative, int flags) {
  if (relative.empty()) return OpenAt2Once(rootFd, ".", flags);
  if (relative.size() <= kMaxPiece) {
    piece_.assign(relative);
    return OpenAt2Once(rootFd, piece_.c_str(), flags);
  }
  // Too long for one call: open it piece by piece, each piece a run of whole
  // components, from the directory the previous piece opened. Every piece is
  // resolved beneath its own start with the same rules, so the whole path
  // is too.
  UniqueFd current;
  int base = rootFd;
  while (!relative.empty()) {
    std::size_t cut = relative.size();
    if (cut > kMaxPiece) {
      cut = relative.rfind('/', kMaxPiece);
      // A single name longer than a whole piece is far beyond NAME_MAX.
      if (cut == std::string_view::npos || cut == 0) return -ENAMETOOLONG;
    }
    piece_.assign(relative.substr(0, cut));
    relative = cut < relative.size() ? relative.substr(cut + 1) : std::string_view();
    const int fd = OpenAt2Once(base, piece_.c_str(), relative.empty() ? flags : O_PATH);
    if (fd < 0) return fd;
    current = UniqueFd(sys_, fd);
    base = fd;
  }
  return current.Release();
}

int BeneathOpener::OpenPerComponent(int rootFd, std::string_view relative, int flags) {
  struct statx rootStx {};
  int r = sys_.StatX(rootFd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, 0, &rootStx);
  if (r < 0) return r;

  UniqueFd current;
  int base = rootFd;
  while (!relative.empty()) {
    const std::size_t slash = relative.find('/');
    piece_.assign(relative.substr(0, slash));
    relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);

    const int fd =
        sys_.OpenAt(base, piece_.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) {
      if (fd == -ENOTDIR) {
        // O_PATH with O_NOFOLLOW opens a link itself and then finds it no
        // directory; say that it was a link, as openat2 would.
        struct stat st {};
        if (sys_.FStatAt(base, piece_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode)) {
          return -ELOOP;
        }
      }
      return fd;
    }
    current = UniqueFd(sys_, fd);
    base = fd;

    struct statx stx {};
    r = sys_.StatX(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, 0, &stx);
    if (r < 0) return r;
    if (IsMountRoot(stx) || stx.stx_dev_major != rootStx.stx_dev_major ||
        stx.stx_dev_minor != rootStx.stx_dev_minor) {
      return -EXDEV;
    }
  }
  if ((flags & O_PATH) != 0 && current.Valid()) return current.Release();
  // Reopen the last directory with the access asked for.
  return sys_.OpenAt(base, ".", flags | O_DIRECTORY | O_CLOEXEC, 0);
}

}  // namespace tidwen
