// The system calls of the Linux platform, behind one interface so that tests
// can make a chosen call fail with a chosen errno.
//
// Every method returns what the system call returns on success and the
// negated errno on failure (-ENOENT, ...); errno itself is not part of the
// contract, so a wrapper can fail a call by returning a negative number.
#pragma once

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace tidwen {

class SysCalls {
 public:
  virtual ~SysCalls() = default;
  virtual int OpenAt(int dirFd, const char* path, int flags, mode_t mode) = 0;
  // openat2(2). -ENOSYS where the kernel lacks it; the platform then falls
  // back to opening one component at a time.
  virtual int OpenAt2(int dirFd, const char* path, const open_how& how) = 0;
  // Fills buffer with linux_dirent64 records; 0 at the end of the directory.
  virtual long GetDents64(int fd, void* buffer, std::size_t size) = 0;
  virtual int FStatAt(int dirFd, const char* path, struct stat* st, int flags) = 0;
  virtual int StatX(int dirFd, const char* path, int flags, unsigned mask, struct statx* stx) = 0;
  virtual int FStat(int fd, struct stat* st) = 0;
  virtual int UnlinkAt(int dirFd, const char* path, int flags) = 0;
  // renameat2(2); flags 0 or RENAME_NOREPLACE. -EINVAL where the
  // filesystem does not take the flags (some FUSE and network ones).
  virtual int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                        unsigned flags) = 0;
  // linkat(2) without flags: fails with -EEXIST when newPath is taken.
  virtual int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) = 0;
  // fcntl(2) with an integer argument (F_SETLEASE, F_SETSIG, ...).
  virtual int Fcntl(int fd, int cmd, long arg) = 0;
  virtual int Close(int fd) = 0;
  // The inode generation of the file open at fd (FS_IOC_GETVERSION).
  virtual int GetVersion(int fd, std::uint64_t* generation) = 0;
  // Which filesystem the directory open at fd (O_PATH will do) lies on, as
  // the filesystem itself says: a digest of its UUID (FS_IOC_GETFSUUID)
  // where it has one and it can be read, else of statfs' f_fsid. Never 0.
  virtual int FileSystemId(int fd, std::uint64_t* id) = 0;
};

// The calls themselves.
class RealSysCalls final : public SysCalls {
 public:
  int OpenAt(int dirFd, const char* path, int flags, mode_t mode) override;
  int OpenAt2(int dirFd, const char* path, const open_how& how) override;
  long GetDents64(int fd, void* buffer, std::size_t size) override;
  int FStatAt(int dirFd, const char* path, struct stat* st, int flags) override;
  int StatX(int dirFd, const char* path, int flags, unsigned mask, struct statx* stx) override;
  int FStat(int fd, struct stat* st) override;
  int UnlinkAt(int dirFd, const char* path, int flags) override;
  int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                unsigned flags) override;
  int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override;
  int Fcntl(int fd, int cmd, long arg) override;
  int Close(int fd) override;
  int GetVersion(int fd, std::uint64_t* generation) override;
  int FileSystemId(int fd, std::uint64_t* id) override;
};

// Passes every call on to another SysCalls (not owned). A base for wrappers
// that change a few calls and leave the rest alone.
class ForwardingSysCalls : public SysCalls {
 public:
  explicit ForwardingSysCalls(SysCalls& next) : next_(next) {}
  int OpenAt(int dirFd, const char* path, int flags, mode_t mode) override {
    return next_.OpenAt(dirFd, path, flags, mode);
  }
  int OpenAt2(int dirFd, const char* path, const open_how& how) override {
    return next_.OpenAt2(dirFd, path, how);
  }
  long GetDents64(int fd, void* buffer, std::size_t size) override {
    return next_.GetDents64(fd, buffer, size);
  }
  int FStatAt(int dirFd, const char* path, struct stat* st, int flags) override {
    return next_.FStatAt(dirFd, path, st, flags);
  }
  int StatX(int dirFd, const char* path, int flags, unsigned mask, struct statx* stx) override {
    return next_.StatX(dirFd, path, flags, mask, stx);
  }
  int FStat(int fd, struct stat* st) override { return next_.FStat(fd, st); }
  int UnlinkAt(int dirFd, const char* path, int flags) override {
    return next_.UnlinkAt(dirFd, path, flags);
  }
  int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                unsigned flags) override {
    return next_.RenameAt2(oldDirFd, oldPath, newDirFd, newPath, flags);
  }
  int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override {
    return next_.LinkAt(oldDirFd, oldPath, newDirFd, newPath);
  }
  int Fcntl(int fd, int cmd, long arg) override { return next_.Fcntl(fd, cmd, arg); }
  int Close(int fd) override { return next_.Close(fd); }
  int GetVersion(int fd, std::uint64_t* generation) override {
    return next_.GetVersion(fd, generation);
  }
  int FileSystemId(int fd, std::uint64_t* id) override { return next_.FileSystemId(fd, id); }

 protected:
  SysCalls& next_;
};

// Owns one file descriptor and closes it through the SysCalls that opened it.
class UniqueFd {
 public:
  UniqueFd() = default;
  UniqueFd(SysCalls& sys, int fd) : sys_(&sys), fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : sys_(other.sys_), fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      sys_ = other.sys_;
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor, if any. A failing close is ignored: the descriptor
  // is gone either way and nothing was written through it.
  void Reset() {
    if (fd_ >= 0 && sys_ != nullptr) sys_->Close(fd_);
    fd_ = -1;
  }

 private:
  SysCalls* sys_ = nullptr;
  int fd_ = -1;
};

}  // namespace tidwen
