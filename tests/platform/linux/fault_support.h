// Helpers for the hardening tests: system calls that change the tree or fail
// at a chosen moment of a walk or a deletion, a watchdog for code that must
// never block, and the scan and delete commands run the way a user runs them.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "clean/cleaner.h"
#include "linux_test_support.h"
#include "real_form.h"
#include "scan/drive_walk.h"

namespace tidwen::test {

// ScriptedSysCalls that can also run an action just before a chosen call, and
// fail or slice the reads of one directory.
class TriggerSysCalls : public ScriptedSysCalls {
 public:
  // Runs action once, just before the first call of kind op whose name
  // argument is exactly name (any call of the kind for an empty name); one
  // action per call, in the order given. Kinds with a name: kOpenAt,
  // kOpenAt2, kFStatAt, kStatX, kUnlinkAt, and kRenameAt2 and kLinkAt,
  // which either of their names matches.
  void When(Op op, std::string name, std::function<void()> action) {
    triggers_.push_back({op, std::move(name), std::move(action), false});
  }
  // The same, before the first rename or link whose new name is name.
  void WhenRenamedTo(std::string name, std::function<void()> action) {
    triggers_.push_back({Op::kRenameAt2, std::move(name), std::move(action), true});
  }
  // Fails every getdents64 of the directory at posixPath with err, after
  // letting the first passFirst reads of each opening through.
  void FailReadsOf(std::string posixPath, int err, int passFirst) {
    readFaults_.push_back({std::move(posixPath), err, passFirst});
  }
  void ClearReadFaults() { readFaults_.clear(); }
  // Fails the first `times` calls of kind op whose name argument is exactly
  // name with err, and lets the later ones through.
  void FailFirst(Op op, int err, std::string name, int times) {
    for (int i = 0; i < times; ++i) {
      When(op, name, [this, err] { pendingErr_ = err; });
    }
  }
  // Fails the next call of kind op, whatever its names, with err once.
  void FailNext(Op op, int err) { failNext_[op] = err; }
  // Hands getdents64 at most this many bytes, so that a directory of a few
  // hundred entries takes many reads.
  void LimitReadSize(std::size_t bytes) { readLimit_ = bytes; }

  int OpenAt(int dirFd, const char* path, int flags, mode_t mode) override {
    if (const int err = Fire(Op::kOpenAt, path)) return -err;
    return ScriptedSysCalls::OpenAt(dirFd, path, flags, mode);
  }
  int OpenAt2(int dirFd, const char* path, const open_how& how) override {
    if (const int err = Fire(Op::kOpenAt2, path)) return -err;
    return ScriptedSysCalls::OpenAt2(dirFd, path, how);
  }
  int FStatAt(int dirFd, const char* path, struct stat* st, int flags) override {
    if (const int err = Fire(Op::kFStatAt, path)) return -err;
    return ScriptedSysCalls::FStatAt(dirFd, path, st, flags);
  }
  int StatX(int dirFd, const char* path, int flags, unsigned mask, struct statx* stx) override {
    if (const int err = Fire(Op::kStatX, path)) return -err;
    return ScriptedSysCalls::StatX(dirFd, path, flags, mask, stx);
  }
  int UnlinkAt(int dirFd, const char* path, int flags) override {
    if (const int err = Fire(Op::kUnlinkAt, path)) return -err;
    return ScriptedSysCalls::UnlinkAt(dirFd, path, flags);
  }
  int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                unsigned flags) override {
    if (const int err = Fire(Op::kRenameAt2, oldPath, newPath)) return -err;
    return ScriptedSysCalls::RenameAt2(oldDirFd, oldPath, newDirFd, newPath, flags);
  }
  int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override {
    if (const int err = Fire(Op::kLinkAt, oldPath, newPath)) return -err;
    return ScriptedSysCalls::LinkAt(oldDirFd, oldPath, newDirFd, newPath);
  }
  long GetDents64(int fd, void* buffer, std::size_t size) override {
    if (!readFaults_.empty()) {
      const std::string dir = PathOfFd(fd);
      for (const ReadFault& f : readFaults_) {
        if (f.path != dir) continue;
        // A new descriptor starts a new read of the directory.
        int& done = readsDone_[{fd, dir}];
        if (done++ >= f.passFirst) return -f.err;
      }
    }
    return ScriptedSysCalls::GetDents64(fd, buffer, std::min(size, readLimit_));
  }
  int Close(int fd) override {
    for (auto it = readsDone_.begin(); it != readsDone_.end();) {
      it = it->first.first == fd ? readsDone_.erase(it) : std::next(it);
    }
    return ScriptedSysCalls::Close(fd);
  }

  // Where an open descriptor points, as the kernel says.
  static std::string PathOfFd(int fd) {
    char buffer[8192];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }

 private:
  struct Trigger {
    Op op;
    std::string name;
    std::function<void()> action;
    bool newNameOnly;  // kRenameAt2 standing for a rename or a link to name
  };
  struct ReadFault {
    std::string path;
    int err;
    int passFirst;
  };

  // Runs the first pending action for this call, if any; returns the errno
  // that the action asked to fail the call with, or 0.
  int Fire(Op op, const char* name, const char* other = nullptr) {
    if (const auto next = failNext_.find(op); next != failNext_.end()) {
      const int err = next->second;
      failNext_.erase(next);
      return err;
    }
    for (Trigger& t : triggers_) {
      if (!t.action) continue;
      const bool matches = t.newNameOnly ? (op == Op::kRenameAt2 || op == Op::kLinkAt) &&
                                               other != nullptr && t.name == other
                                         : t.op == op && (t.name.empty() || t.name == name ||
                                                          (other != nullptr && t.name == other));
      if (matches) {
        // Cleared first, so that an action making the same call does not
        // run itself again.
        std::function<void()> action = std::move(t.action);
        t.action = nullptr;
        pendingErr_ = 0;
        action();
        const int err = pendingErr_;
        pendingErr_ = 0;
        return err;
      }
    }
    return 0;
  }

  std::vector<Trigger> triggers_;
  std::map<Op, int> failNext_;
  std::vector<ReadFault> readFaults_;
  std::map<std::pair<int, std::string>, int> readsDone_;
  std::size_t readLimit_ = static_cast<std::size_t>(-1);
  int pendingErr_ = 0;
};

// The main window's logic over the Linux platform on a temporary tree, run
// with openat2 and with the per-component walk; see WalkName.
class HardeningTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) sys.Fail(Op::kOpenAt2, ENOSYS);
  }

  TempTree tree;
  TriggerSysCalls sys;
  RealForm form{tree, sys};
};

// Ends the test process with a message when it is still running after a
// number of seconds: for code that must never block, where a hang would
// otherwise stop the whole run without saying why. The trees the process
// made go with it.
class Watchdog {
 public:
  Watchdog(unsigned seconds, const char* what) {
    what_ = what;
    struct sigaction action {};
    action.sa_handler = &Watchdog::Bark;
    ::sigaction(SIGALRM, &action, &previous_);
    ::alarm(seconds);
  }
  ~Watchdog() {
    ::alarm(0);
    ::sigaction(SIGALRM, &previous_, nullptr);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  static void Bark(int) {
    static const char kPrefix[] = "\nwatchdog: still blocked after the time allowed: ";
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, kPrefix, sizeof kPrefix - 1);
    n = ::write(STDERR_FILENO, what_, std::strlen(what_));
    n = ::write(STDERR_FILENO, "\n", 1);
    EndRemovingTrees(3);
  }

  static inline const char* what_ = "";
  struct sigaction previous_ {};
};

// The scan command, then every entry selected, as the select-all command
// leaves the ResultList.
// Texts in brackets, for failure messages.
inline std::string Join(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& t : texts) joined += "[" + t + "] ";
  return joined;
}

inline void ScanAndSelectAll(RealForm& form) {
  Command1_Click(form.context);
  form.SelectAllResults();
}

// Empties the ResultList and the DirectoryQueue, as the choose-types command
// does, so that the next scan starts afresh.
inline void EmptyResults(RealForm& form) {
  form.List1.Clear();
  form.List3.Clear();
}

// Empties the results and scans again, with the entry types of directory
// records hidden or not (some filesystems give none). The scan must end
// within 20 seconds; what names it in the watchdog's message.
inline void RescanWatched(RealForm& form, ScriptedSysCalls& sys, bool hiddenTypes,
                          const char* what) {
  sys.HideEntryTypes(hiddenTypes);
  EmptyResults(form);
  Watchdog watchdog(20, what);
  Command1_Click(form.context);
}

// The delete command, answering the confirmation with Yes.
inline void DeleteConfirmed(RealForm& form) {
  form.MessageBox.answers = {kMsgBoxYes};
  Command2_Click(form.context);
}

// The texts of the boxes shown after the confirmation.
inline std::vector<std::string> FailureBoxes(const RealForm& form) {
  std::vector<std::string> texts = form.BoxTexts();
  if (!texts.empty() && texts.front().rfind("确实要删除这", 0) == 0) texts.erase(texts.begin());
  return texts;
}

}  // namespace tidwen::test
