#include "platform/linux/sys_calls.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tidwen {

namespace {

// Turns a libc result (-1 and errno) into the interface's negated errno.
inline long Result(long r) { return r < 0 ? -errno : r; }

// FS_IOC_GETFSUUID (Linux 6.5), for headers that lack it.
struct FsUuid {
  std::uint8_t length;
  std::uint8_t uuid[16];
};
#ifndef FS_IOC_GETFSUUID
#define FS_IOC_GETFSUUID _IOR(0x15, 0, FsUuid)
#endif

// A filesystem may write as many bytes as a request's declared size says,
// whatever it means to store: FUSE passes every ioctl on to its daemon and
// copies back the declared size. So each buffer is at least that large.
// FS_IOC_GETVERSION is declared with a long, though local filesystems store
// an int at its start.
static_assert(_IOC_SIZE(FS_IOC_GETVERSION) == sizeof(long));
static_assert(_IOC_SIZE(FS_IOC_GETFSUUID) <= sizeof(FsUuid));

// FNV-1a over bytes, kept off 0; a kind byte first keeps a UUID and an
// f_fsid of the same bytes apart.
std::uint64_t Digest(std::uint8_t kind, const void* bytes, std::size_t size) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  const auto add = [&h](std::uint8_t b) { h = (h ^ b) * 0x100000001b3ULL; };
  add(kind);
  for (std::size_t i = 0; i < size; ++i) add(static_cast<const std::uint8_t*>(bytes)[i]);
  return h == 0 ? 1 : h;
}

}  // namespace

int RealSysCalls::OpenAt(int dirFd, const char* path, int flags, mode_t mode) {
  return static_cast<int>(Result(::openat(dirFd, path, flags, mode)));
}

int RealSysCalls::OpenAt2(int dirFd, const char* path, const open_how& how) {
#ifdef SYS_openat2
  return static_cast<int>(Result(::syscall(SYS_openat2, dirFd, path, &how, sizeof how)));
#else
  (void)dirFd;
  (void)path;
  (void)how;
  return -ENOSYS;
#endif
}

long RealSysCalls::GetDents64(int fd, void* buffer, std::size_t size) {
  return Result(::syscall(SYS_getdents64, fd, buffer, size));
}

int RealSysCalls::FStatAt(int dirFd, const char* path, struct stat* st, int flags) {
  return static_cast<int>(Result(::fstatat(dirFd, path, st, flags)));
}

int RealSysCalls::StatX(int dirFd, const char* path, int flags, unsigned mask, struct statx* stx) {
  return static_cast<int>(Result(::statx(dirFd, path, flags, mask, stx)));
}

int RealSysCalls::FStat(int fd, struct stat* st) {
  return static_cast<int>(Result(::fstat(fd, st)));
}

int RealSysCalls::UnlinkAt(int dirFd, const char* path, int flags) {
  return static_cast<int>(Result(::unlinkat(dirFd, path, flags)));
}

int RealSysCalls::RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                            unsigned flags) {
  return static_cast<int>(Result(::renameat2(oldDirFd, oldPath, newDirFd, newPath, flags)));
}

int RealSysCalls::LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) {
  return static_cast<int>(Result(::linkat(oldDirFd, oldPath, newDirFd, newPath, 0)));
}

int RealSysCalls::Fcntl(int fd, int cmd, long arg) {
  return static_cast<int>(Result(::fcntl(fd, cmd, arg)));
}

int RealSysCalls::Close(int fd) { return static_cast<int>(Result(::close(fd))); }

int RealSysCalls::GetVersion(int fd, std::uint64_t* generation) {
  // The request is declared with a long and FUSE fills all of it; ext4,
  // btrfs and xfs store an int at its start. An int buffer here would let
  // a FUSE daemon's answer write past it.
  unsigned char buffer[sizeof(long)] = {};
  const int r = static_cast<int>(Result(::ioctl(fd, FS_IOC_GETVERSION, buffer)));
  if (r == 0) {
    std::uint32_t value = 0;
    std::memcpy(&value, buffer, sizeof value);
    *generation = value;
  }
  return r;
}

int RealSysCalls::FileSystemId(int fd, std::uint64_t* id) {
  // The UUID is asked of a descriptor opened for reading; an O_PATH one
  // takes no ioctl.
  const int dir = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (dir < 0 && (errno == EMFILE || errno == ENFILE)) return -errno;
  if (dir >= 0) {
    FsUuid uuid{};
    const int r = ::ioctl(dir, FS_IOC_GETFSUUID, &uuid);
    ::close(dir);
    if (r == 0 && uuid.length > 0 && uuid.length <= sizeof uuid.uuid) {
      *id = Digest(1, uuid.uuid, uuid.length);
      return 0;
    }
  }
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return -errno;
  *id = Digest(2, &fs.f_fsid, sizeof fs.f_fsid);
  return 0;
}

}  // namespace tidwen
