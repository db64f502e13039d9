// A real temporary directory tree for tests that need the file system, made
// under $TMPDIR (or /tmp) as tidwen-test-<pid>-XXXXXX and removed with
// everything in it when the object goes: immutable and append-only flags
// are cleared and directory modes restored first, so a test may leave its
// files locked, and a filesystem mounted inside it is unmounted (detached)
// rather than emptied, so a test may leave its mounts too.
//
// A process that ends without running destructors (a crash, a watchdog)
// leaves its trees; RemoveTreesOf removes them once it is gone, and
// EndRemovingTrees ends a process after removing its own.
//
// Relative paths use "/" and are taken below the tree's root; names are
// bytes and may be any but "/" and NUL. Every maker creates missing parent
// directories (mode 0755) and throws std::runtime_error when it fails.
#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tidwen::test {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The tree's absolute root, without a trailing "/".
  const std::string& Root() const { return root_; }
  // Root() + "/" + relative; Root() for an empty relative.
  std::string Path(std::string_view relative) const;

  void MakeDir(std::string_view relative, mode_t mode = 0755);
  void MakeFile(std::string_view relative, std::string_view bytes = {}, mode_t mode = 0644);
  // MakeFile for each path in turn, all with the same bytes.
  void MakeFiles(std::initializer_list<std::string_view> relatives, std::string_view bytes = {});
  // A file of the given length with no data written (a hole).
  void MakeSparseFile(std::string_view relative, off_t length);
  void MakeSymlink(std::string_view relative, const std::string& target);
  void MakeFifo(std::string_view relative);
  // A bound Unix socket; its full path must fit in sun_path (107 bytes).
  void MakeSocket(std::string_view relative);

  // Whether anything, a dangling link included, is at relative.
  bool Exists(std::string_view relative) const;
  std::string ReadFile(std::string_view relative) const;
  // The names in the directory at relative; see NamesIn.
  std::vector<std::string> Names(std::string_view relative) const;
  mode_t Mode(std::string_view relative) const;  // permission bits, no follow
  void Chmod(std::string_view relative, mode_t mode);
  // Sets or clears the immutable flag (as chattr +i / -i). False when the
  // filesystem or the caller's privileges refuse it.
  bool SetImmutable(std::string_view relative, bool on);
  // Removes whatever is at relative, a whole directory tree included.
  void Remove(std::string_view relative);

 private:
  std::string root_;
};

// The names in the open directory dirFd, "." and ".." left out, sorted by
// their bytes; empty when it cannot be read. dirFd stays open and its read
// position untouched.
std::vector<std::string> NamesIn(int dirFd);

// Removes the trees the process pid made and left behind; returns how many.
// For a process that has ended: RunInChild calls it for its child.
int RemoveTreesOf(pid_t pid);

// Ends this process with exitCode after removing the trees it holds, from
// a signal handler too: it allocates nothing, and runs the removal by
// exec'ing a shell in place of the process.
[[noreturn]] void EndRemovingTrees(int exitCode);

}  // namespace tidwen::test
