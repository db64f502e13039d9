#include "platform/linux/sys_calls.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace tidwen {

namespace {

// Turns a libc result (-1 and errno) into the interface's negated errno.
inline long Result(long r) { return r < 0 ? -errno : r; }

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

int RealSysCalls::StatX(int dirFd, const char* path, int flags, unsigned mask,
                        struct statx* stx) {
  return static_cast<int>(Result(::statx(dirFd, path, flags, mask, stx)));
}

int RealSysCalls::FStat(int fd, struct stat* st) {
  return static_cast<int>(Result(::fstat(fd, st)));
}

int RealSysCalls::UnlinkAt(int dirFd, const char* path, int flags) {
  return static_cast<int>(Result(::unlinkat(dirFd, path, flags)));
}

int RealSysCalls::Close(int fd) { return static_cast<int>(Result(::close(fd))); }

int RealSysCalls::GetVersion(int fd, std::uint64_t* generation) {
  // The kernel writes an int, whatever the request's declared type says.
  int value = 0;
  const int r = static_cast<int>(Result(::ioctl(fd, FS_IOC_GETVERSION, &value)));
  if (r == 0) *generation = static_cast<std::uint32_t>(value);
  return r;
}

}  // namespace tidwen
