// Helpers for the tests of the Linux platform: a SysCalls that counts calls
// and fails chosen ones, the platform over a temporary tree, and running a
// check in a child process.
#pragma once

#include <dirent.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/linux/linux_platform.h"
#include "platform/linux/sys_calls.h"
#include "support/error_of.h"
#include "support/temp_tree.h"

namespace tidwen::test {

enum class Op {
  kOpenAt,
  kOpenAt2,
  kGetDents,
  kFStatAt,
  kStatX,
  kFStat,
  kUnlinkAt,
  kRenameAt2,
  kLinkAt,
  kFcntl,
  kClose,
  kCount
};

namespace detail {
struct RealHolder {
  RealSysCalls real;
};
}  // namespace detail

// The real calls, counted, with faults on request. A fault fails every call
// of one kind whose name argument ends in a given text (any call when the
// text is empty), after letting a number of matching calls through.
class ScriptedSysCalls : private detail::RealHolder, public ForwardingSysCalls {
 public:
  ScriptedSysCalls() : ForwardingSysCalls(real) {}

  void Fail(Op op, int err, std::string nameSuffix = {}, int passFirst = 0) {
    faults_.push_back({op, err, std::move(nameSuffix), passFirst});
  }
  void ClearFaults() { faults_.clear(); }
  // Makes every getdents64 record say DT_UNKNOWN, as some filesystems do.
  void HideEntryTypes(bool hide) { hideTypes_ = hide; }
  // Refuses renameat2's flags with -EINVAL, as filesystems without
  // RENAME_NOREPLACE do.
  void RefuseRenameFlags(bool refuse) { refuseRenameFlags_ = refuse; }

  int Count(Op op) const { return counts_[static_cast<int>(op)]; }
  void ResetCounts() { counts_.fill(0); }
  // Descriptors opened through this object and not yet closed.
  const std::set<int>& OpenFds() const { return open_; }

  int OpenAt(int dirFd, const char* path, int flags, mode_t mode) override {
    if (int err = Hit(Op::kOpenAt, path)) return -err;
    return Opened(ForwardingSysCalls::OpenAt(dirFd, path, flags, mode));
  }
  int OpenAt2(int dirFd, const char* path, const open_how& how) override {
    if (int err = Hit(Op::kOpenAt2, path)) return -err;
    return Opened(ForwardingSysCalls::OpenAt2(dirFd, path, how));
  }
  long GetDents64(int fd, void* buffer, std::size_t size) override {
    if (int err = Hit(Op::kGetDents, "")) return -err;
    const long n = ForwardingSysCalls::GetDents64(fd, buffer, size);
    if (hideTypes_ && n > 0) {
      auto* bytes = static_cast<char*>(buffer);
      for (long at = 0; at < n;) {
        unsigned short reclen;
        std::memcpy(&reclen, bytes + at + 16, sizeof reclen);
        bytes[at + 18] = DT_UNKNOWN;
        at += reclen;
      }
    }
    return n;
  }
  int FStatAt(int dirFd, const char* path, struct stat* st, int flags) override {
    if (int err = Hit(Op::kFStatAt, path)) return -err;
    return ForwardingSysCalls::FStatAt(dirFd, path, st, flags);
  }
  int StatX(int dirFd, const char* path, int flags, unsigned mask, struct statx* stx) override {
    if (int err = Hit(Op::kStatX, path)) return -err;
    return ForwardingSysCalls::StatX(dirFd, path, flags, mask, stx);
  }
  int FStat(int fd, struct stat* st) override {
    if (int err = Hit(Op::kFStat, "")) return -err;
    return ForwardingSysCalls::FStat(fd, st);
  }
  int UnlinkAt(int dirFd, const char* path, int flags) override {
    if (int err = Hit(Op::kUnlinkAt, path)) return -err;
    return ForwardingSysCalls::UnlinkAt(dirFd, path, flags);
  }
  // Named by the entry renamed; a fault may also name the new name.
  int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                unsigned flags) override {
    if (int err = Hit(Op::kRenameAt2, oldPath, newPath)) return -err;
    if (refuseRenameFlags_ && flags != 0) return -EINVAL;
    return ForwardingSysCalls::RenameAt2(oldDirFd, oldPath, newDirFd, newPath, flags);
  }
  int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override {
    if (int err = Hit(Op::kLinkAt, oldPath, newPath)) return -err;
    return ForwardingSysCalls::LinkAt(oldDirFd, oldPath, newDirFd, newPath);
  }
  int Fcntl(int fd, int cmd, long arg) override {
    if (int err = Hit(Op::kFcntl, "")) return -err;
    return ForwardingSysCalls::Fcntl(fd, cmd, arg);
  }
  int Close(int fd) override {
    ++counts_[static_cast<int>(Op::kClose)];
    open_.erase(fd);
    return ForwardingSysCalls::Close(fd);
  }

 private:
  struct Fault {
    Op op;
    int err;
    std::string nameSuffix;
    int passFirst;
  };

  static bool EndsWith(std::string_view name, std::string_view suffix) {
    return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
  }
  // Counts the call and returns the errno to fail it with, or 0. A call of
  // two names matches a fault by either.
  int Hit(Op op, std::string_view name, std::string_view other = {}) {
    ++counts_[static_cast<int>(op)];
    for (Fault& f : faults_) {
      if (f.op != op) continue;
      if (!EndsWith(name, f.nameSuffix) && (other.empty() || !EndsWith(other, f.nameSuffix))) {
        continue;
      }
      if (f.passFirst > 0) {
        --f.passFirst;
        continue;
      }
      return f.err;
    }
    return 0;
  }
  int Opened(int fd) {
    if (fd >= 0) open_.insert(fd);
    return fd;
  }

  std::array<int, static_cast<int>(Op::kCount)> counts_{};
  std::vector<Fault> faults_;
  std::set<int> open_;
  bool hideTypes_ = false;
  bool refuseRenameFlags_ = false;
};

// Tests that run twice take a bool parameter: false uses openat2, true
// reports openat2 missing so that paths are opened one component at a time.
// Names the two runs.
inline std::string WalkName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "PerComponent" : "OpenAt2";
}

// The Linux platform over a temporary tree mapped as drive c:, its system
// calls counted and failed on request through sys_.
template <class Base = ::testing::Test>
class TempDriveTest : public Base {
 protected:
  TempTree tree_;
  ScriptedSysCalls sys_;
  LinuxPlatform platform_{DriveTable({Drive{'c', tree_.Root(), ""}}), sys_};
};

// TempDriveTest run with openat2 and with the per-component walk; see
// WalkName.
class TempDriveWalkTest : public TempDriveTest<::testing::TestWithParam<bool>> {
 protected:
  void SetUp() override {
    if (GetParam()) sys_.Fail(Op::kOpenAt2, ENOSYS);
  }
};

// The outcome of a check run in a child process.
struct ChildResult {
  bool skipped = false;  // the child could not set itself up; message says why
  bool ok = false;
  std::string message;  // why the check failed, or was skipped
};

// Appends everything a child writes to readFd to out, closes readFd, and
// waits for the child to end; returns its wait status.
inline int CollectChild(pid_t pid, int readFd, std::string& out) {
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(readFd, buffer, sizeof buffer)) > 0) out.append(buffer, n);
  ::close(readFd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// Runs check in a forked child. check returns "" on success or what went
// wrong; a thrown exception counts as a failure. setup runs first and
// returns "" or why the check cannot run here (the result is then skipped).
// The child never returns into the test framework; the temporary trees it
// leaves, should it crash, are removed once it has ended.
inline ChildResult RunInChild(const std::function<std::string()>& setup,
                              const std::function<std::string()>& check) {
  int fds[2];
  if (::pipe(fds) != 0) return {false, false, "pipe failed"};
  const pid_t pid = ::fork();
  if (pid < 0) return {false, false, "fork failed"};
  if (pid == 0) {
    ::close(fds[0]);
    std::string message;
    int code = 0;
    try {
      message = setup();
      if (!message.empty()) {
        code = 2;
      } else {
        message = check();
        code = message.empty() ? 0 : 1;
      }
    } catch (const std::exception& e) {
      message = std::string("exception: ") + e.what();
      code = 1;
    }
    if (!message.empty()) {
      [[maybe_unused]] ssize_t n = ::write(fds[1], message.data(), message.size());
    }
    ::_exit(code);
  }
  ::close(fds[1]);
  ChildResult result;
  const int status = CollectChild(pid, fds[0], result.message);
  // A child that crashed ran no destructor: its trees go now.
  if (const int left = RemoveTreesOf(pid); left > 0) {
    result.message += " (" + std::to_string(left) + " temporary trees of the child removed)";
  }
  if (!WIFEXITED(status)) {
    result.message += " (child ended abnormally)";
    return result;
  }
  result.skipped = WEXITSTATUS(status) == 2;
  result.ok = WEXITSTATUS(status) == 0;
  return result;
}

// Drops to the unprivileged user "nobody" (65534) in a child process.
inline std::string BecomeNobody() {
  if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
      ::setresuid(65534, 65534, 65534) != 0) {
    return std::string("cannot become an unprivileged user: ") + std::strerror(errno);
  }
  return {};
}

}  // namespace tidwen::test
