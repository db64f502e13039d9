// Tests leave nothing behind: a temporary tree goes with everything in it,
// mounts included (unmounted, so that what a bind mount shows is left
// alone), and so do the trees of a process that ends without running its
// destructors.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "linux_test_support.h"
#include "mount_support.h"

namespace tidwen::test {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

TEST(TempTreeCleanup, ATreeWithMountsInsideGoesAndWhatABindMountShowsStays) {
  TempTree outside;
  outside.MakeFile("precious.bak", "keep");
  const auto check = [&]() -> std::string {
    std::string root;
    {
      TempTree tree;
      root = tree.Root();
      tree.MakeDir("tmpfs");
      tree.MakeDir("deep/bound");
      if (std::string error = MountTmpfs(tree.Path("tmpfs")); !error.empty()) return error;
      if (std::string e = MountTmpfs(tree.Path("tmpfs")); !e.empty()) return e;  // stacked
      tree.MakeFile("tmpfs/t.tmp", "1");
      if (std::string e = BindMount(outside.Root(), tree.Path("deep/bound")); !e.empty()) return e;
    }
    if (Exists(root)) return "the tree with mounts inside is still there";
    if (outside.ReadFile("precious.bak") != "keep") return "the bind mount's source was emptied";
    return {};
  };
  const ChildResult result = RunInChild(PrivateMounts, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

// How a process that made a tree ends.
enum class End { kCrash, kWatchdog };

TEST(TempTreeCleanup, TheTreesOfAProcessThatEndedWithoutCleaningUpGo) {
  for (const End end : {End::kCrash, End::kWatchdog}) {
    SCOPED_TRACE(end == End::kCrash ? "crash" : "watchdog");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      // Leaked on purpose: the process ends without destructors.
      auto* tree = new TempTree;
      tree->MakeFile("a/b.tmp", "1");
      const std::string root = tree->Root() + "\n";
      [[maybe_unused]] const ssize_t n = ::write(fds[1], root.data(), root.size());
      if (end == End::kWatchdog) EndRemovingTrees(3);
      std::signal(SIGABRT, SIG_DFL);
      std::abort();
    }
    ::close(fds[1]);
    std::string root;
    const int status = CollectChild(pid, fds[0], root);
    ASSERT_FALSE(root.empty());
    root.pop_back();
    if (end == End::kWatchdog) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
      EXPECT_FALSE(Exists(root)) << root;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status)) << status;
      EXPECT_TRUE(Exists(root)) << root;
      EXPECT_EQ(RemoveTreesOf(pid), 1);
      EXPECT_FALSE(Exists(root)) << root;
    }
  }
}

}  // namespace
}  // namespace tidwen::test
