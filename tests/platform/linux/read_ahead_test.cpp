// Reading ahead of the walk: the scan lists the same entries, in the same
// order, as the walk that reads every directory at its turn, also when a
// directory the read-ahead already holds is swapped for a link, removed or
// mounted over before the walk comes to it; and it holds no more than its
// limits.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/walk.h"
#include "fault_support.h"
#include "mount_support.h"
#include "platform/linux/read_ahead.h"

namespace tidwen::test {
namespace {

// The real calls, safe from every thread. Once, when the walk's own thread
// opens a directory named trigger, runs an action; and it tells whether a
// worker has looked at a file of a given name.
class WalkTrigger : protected detail::RealHolder, public ForwardingSysCalls {
 public:
  WalkTrigger(std::string trigger, std::function<void()> action)
      : ForwardingSysCalls(real), trigger_(std::move(trigger)), action_(std::move(action)) {}

  bool WorkerLookedAt(const std::string& name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return workerLooks_.count(name) != 0;
  }
  bool Fired() const { return fired_; }

  int OpenAt2(int dirFd, const char* path, const open_how& how) override {
    if (std::this_thread::get_id() == walk_ && !fired_ && path == trigger_) {
      fired_ = true;
      action_();
    }
    return ForwardingSysCalls::OpenAt2(dirFd, path, how);
  }
  int StatX(int dirFd, const char* path, int flags, unsigned mask, struct statx* stx) override {
    if (std::this_thread::get_id() != walk_) {
      const std::lock_guard<std::mutex> lock(mutex_);
      workerLooks_.insert(path);
    }
    return ForwardingSysCalls::StatX(dirFd, path, flags, mask, stx);
  }

 private:
  const std::thread::id walk_ = std::this_thread::get_id();
  std::string trigger_;
  std::function<void()> action_;
  std::atomic<bool> fired_{false};
  std::mutex mutex_;
  std::set<std::string> workerLooks_;
};

// A tree of a few levels, with junk and other files, empty ones, hidden
// ones and subdirectories in every directory.
void MakeTree(TempTree& tree) {
  for (int a = 0; a < 6; ++a) {
    const std::string top = "d" + std::to_string(a);
    for (int b = 0; b < 5; ++b) {
      const std::string mid = top + "/e" + std::to_string(b);
      tree.MakeFiles({mid + "/x.tmp", mid + "/y.$$$", mid + "/.h.tmp", mid + "/keep.txt"}, "1");
      tree.MakeFile(mid + "/empty.log");
      tree.MakeFile(mid + "/f/g/deep.bak", "1");
    }
    tree.MakeFile(top + "/a.old", "1");
  }
  tree.MakeFile("root.tmp", "1");
}

struct Scan {
  std::vector<std::string> results;
  std::vector<std::string> queued;
};

Scan ScanWith(const std::string& root, SysCalls& sys, int workers) {
  RealForm form(DriveTable({Drive{'c', root, ""}}), "c:", sys);
  // The tree was just made: a listing is read ahead even of a directory
  // changed a moment ago.
  form.platform.SetReadAhead(workers, 0);
  ScanAndSelectAll(form);
  Scan scan{form.Results(), {}};
  for (std::int64_t i = 0; i < form.List3.ListCount(); ++i)
    scan.queued.emplace_back(form.List3.List(i));
  form.platform.ReleaseHandles();
  return scan;
}

Scan ScanWith(const TempTree& tree, SysCalls& sys, int workers) {
  return ScanWith(tree.Root(), sys, workers);
}

// Waits up to 10 s for a worker to look at a file of this name.
bool AwaitWorkerLook(WalkTrigger& sys, const std::string& name) {
  for (int i = 0; i < 2000; ++i) {
    if (sys.WorkerLookedAt(name)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST(ReadAhead, ScanListsWhatTheOneThreadWalkListsInTheSameOrder) {
  TempTree tree;
  MakeTree(tree);
  RealSysCalls real;
  const Scan alone = ScanWith(tree, real, 0);
  ASSERT_EQ(alone.results.size(), 6u * 5 * 5 + 6 + 1);
  for (const int workers : {1, 2, 4}) {
    // The walk waits at its first directory until the workers have looked
    // at a file, so that some of what it lists surely comes from them.
    bool workersLooked = false;
    WalkTrigger sys("d0", [&] {
      for (int i = 0; i < 2000 && !workersLooked; ++i) {
        workersLooked = sys.WorkerLookedAt("a.old");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
    const Scan ahead = ScanWith(tree, sys, workers);
    EXPECT_TRUE(workersLooked) << workers << " workers";
    EXPECT_EQ(ahead.results, alone.results) << workers << " workers";
    EXPECT_EQ(ahead.queued, alone.queued) << workers << " workers";
  }
}

// A walk of a folder, as the command line makes, reads ahead of it as a
// walk of a drive's root does, once the folder is given as its start.
TEST(ReadAhead, AWalkOfAFolderGivenAsItsStartIsReadAhead) {
  TempTree tree;
  MakeTree(tree);
  struct Paths : WalkSink {
    explicit Paths(const PathArena& a) : arena(a) {}
    void Hits(std::span<const Hit> hits) override {
      for (const Hit& h : hits) paths.push_back(arena.Path(h.dir, h.name));
    }
    const PathArena& arena;
    std::vector<std::string> paths;
  };
  const auto walk = [&](SysCalls& sys, bool start) {
    LinuxPlatform platform(DriveTable({Drive{'c', tree.Root(), ""}}), sys);
    platform.SetReadAhead(2, 0);
    if (start) platform.SetWalkStart("c:\\d0");
    PathArena arena;
    Paths found(arena);
    WalkDrive({platform.Dir1(), platform.File1(), platform.FileLength()}, arena, "c:\\d0",
              JunkTypes::All(), found);
    platform.ReleaseHandles();
    return found.paths;
  };
  RealSysCalls real;
  const std::vector<std::string> alone = walk(real, false);
  ASSERT_EQ(alone.size(), 5u * 5 + 1);
  // The walk waits at the folder's first subdirectory until a worker has
  // looked at a file of one, which only a read-ahead does.
  bool workersLooked = false;
  WalkTrigger sys("d0/e0", [&] {
    for (int i = 0; i < 2000 && !workersLooked; ++i) {
      workersLooked = sys.WorkerLookedAt("x.tmp");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  EXPECT_EQ(walk(sys, true), alone);
  EXPECT_TRUE(sys.Fired());
  EXPECT_TRUE(workersLooked);
}

// What happens to directory d1, which the read-ahead holds by the time the
// walk opens d0, the first directory it visits.
enum class Change { kLinkedAway, kRemoved, kMountedOver };

std::string ChangeName(const ::testing::TestParamInfo<Change>& info) {
  switch (info.param) {
    case Change::kLinkedAway:
      return "LinkedAway";
    case Change::kRemoved:
      return "Removed";
    case Change::kMountedOver:
      return "MountedOver";
  }
  return "";
}

class ReadAheadChanges : public ::testing::TestWithParam<Change> {};
INSTANTIATE_TEST_SUITE_P(, ReadAheadChanges,
                         ::testing::Values(Change::kLinkedAway, Change::kRemoved,
                                           Change::kMountedOver),
                         ChangeName);

TEST_P(ReadAheadChanges, DirectoryChangedWhileHeldIsReadAgainByTheWalk) {
  const auto check = [&](int workers) -> std::string {
    TempTree tree;
    MakeTree(tree);
    tree.MakeFile("d1/zz-last.tmp", "1");
    TempTree outside;
    outside.MakeFiles({"o.tmp", "e0/o2.tmp"}, "1");
    // A memory filesystem mounted on d1 goes before the tree, which could
    // not be removed under it and would be left behind.
    struct Unmount {
      std::string at;
      ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{tree.Path("d1")};
    bool held = workers == 0;
    WalkTrigger sys("d0", [&] {
      // Let the workers read d1 through before it changes.
      for (int i = 0; i < 2000 && !held; ++i) {
        held = sys.WorkerLookedAt("zz-last.tmp");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      switch (GetParam()) {
        case Change::kLinkedAway:
          ::rename(tree.Path("d1").c_str(), tree.Path("d1-moved").c_str());
          ::symlink(outside.Root().c_str(), tree.Path("d1").c_str());
          break;
        case Change::kRemoved:
          tree.Remove("d1");
          break;
        case Change::kMountedOver:
          ::mount("tidwen-test", tree.Path("d1").c_str(), "tmpfs", 0, "size=64k");
          tree.MakeFile("d1/t.tmp", "1");
          break;
      }
    });
    const Scan scan = ScanWith(tree, sys, workers);
    if (!sys.Fired()) return "the change was never made";
    if (!held) return "the read-ahead never held d1";
    for (const std::string& entry : scan.results) {
      if (entry.rfind("c:\\d1", 0) == 0) return "listed " + entry;
    }
    if (scan.results.size() != 6u * 5 * 5 + 6 + 1 - 5 * 5 - 1) {
      return "listed " + std::to_string(scan.results.size()) + " entries";
    }
    return {};
  };
  for (const int workers : {0, 2}) {
    const ChildResult result = RunInChild(PrivateMounts, [&] { return check(workers); });
    if (result.skipped) GTEST_SKIP() << result.message;
    EXPECT_TRUE(result.ok) << workers << " workers: " << result.message;
  }
}

// ext4 gives a directory removed and made again under its name the inode
// it had: only its change and birth times tell it apart from the one that
// was read ahead.
TEST(ReadAhead, DirectoryMadeAgainUnderItsInodeIsReadAgain) {
  TempTree tree;
  tree.MakeDir("disk");
  const auto setup = [&]() -> std::string {
    if (std::string error = PrivateMounts(); !error.empty()) return error;
    return MountExt4(tree.Path("disk.img"), tree.Path("disk"));
  };
  const auto check = [&]() -> std::string {
    // A few tries, each on a tree of its own, find one where the inode
    // comes back; each must list what a walk of the new tree lists.
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::string base = "disk/t" + std::to_string(attempt);
      tree.MakeFiles({base + "/a/x.tmp", base + "/d1/old.tmp", base + "/d1/s/old2.tmp",
                      base + "/d2/y.tmp"},
                     "1");
      struct stat before {
      }, after{};
      bool held = false;
      WalkTrigger sys("a", [&] {
        held = AwaitWorkerLook(sys, "old.tmp");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::stat(tree.Path(base + "/d1").c_str(), &before);
        tree.Remove(base + "/d1");
        tree.MakeFile(base + "/d1/new.tmp", "1");
        ::stat(tree.Path(base + "/d1").c_str(), &after);
      });
      const Scan ahead = ScanWith(tree.Path(base), sys, 2);
      RealSysCalls real;
      const Scan alone = ScanWith(tree.Path(base), real, 0);
      if (!sys.Fired() || !held) return "the read-ahead never held d1";
      if (ahead.results != alone.results) {
        return "listed " + Join(ahead.results) + " where the walk lists " + Join(alone.results);
      }
      if (before.st_ino == after.st_ino) return {};
    }
    return "ext4 never gave d1 its inode again";
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

// Refuses to open directory d0, wherever it is asked from.
class RefuseD0 final : public WalkTrigger {
 public:
  using WalkTrigger::WalkTrigger;
  int OpenAt2(int dirFd, const char* path, const open_how& how) override {
    if (std::string_view(path) == "d0") return -EACCES;
    return WalkTrigger::OpenAt2(dirFd, path, how);
  }
};

TEST(ReadAhead, ADirectoryTheWalkCannotOpenLeavesTheReadingAheadOn) {
  TempTree tree;
  MakeTree(tree);
  RefuseD0 oneThread("", [] {});
  const Scan alone = ScanWith(tree, oneThread, 0);
  ASSERT_EQ(alone.results.size(), 5u * 5 * 5 + 5 + 1);
  // The walk waits at d3 until the workers have read a directory it
  // expected only after d0 was passed over: x.tmp lies a level deeper.
  bool read = false;
  RefuseD0 sys("d3", [&] { read = AwaitWorkerLook(sys, "x.tmp"); });
  const Scan ahead = ScanWith(tree, sys, 2);
  EXPECT_TRUE(read);
  EXPECT_EQ(ahead.results, alone.results);
  EXPECT_EQ(ahead.queued, alone.queued);
}

// A look at a directory vouches for its listing only once it has settled,
// and agrees with a later look only while the directory is unchanged.
TEST(ReadAhead, LooksAgreeOnlyOnAnUnchangedSettledDirectory) {
  TempTree tree;
  tree.MakeFile("d/a.tmp", "1");
  RealSysCalls sys;
  const auto look = [&](std::int64_t settledNs) {
    const UniqueFd fd(sys, ::open(tree.Path("d").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return LookAtDirectory(sys, fd.Get(), settledNs);
  };
  EXPECT_FALSE(look(kSettledNanoseconds).known) << "made a moment ago";
  const DirectoryIdentity first = look(0);
  ASSERT_TRUE(first.known);
  EXPECT_TRUE(first.Agrees(look(0)));
  struct Row {
    const char* what;
    std::function<void()> change;
  };
  const std::vector<Row> rows = {
      {"a file added", [&] { tree.MakeFile("d/b.tmp", "1"); }},
      {"a file removed", [&] { tree.Remove("d/a.tmp"); }},
      {"a file renamed",
       [&] { ::rename(tree.Path("d/b.tmp").c_str(), tree.Path("d/c.tmp").c_str()); }},
      {"made anew",
       [&] {
         tree.Remove("d");
         tree.MakeDir("d");
       }},
  };
  for (const Row& row : rows) {
    const DirectoryIdentity before = look(0);
    // Past the coarsest tick of the file system's clock.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    row.change();
    EXPECT_FALSE(before.Agrees(look(0))) << row.what;
  }
}

TEST(ReadAhead, HoldsNoMoreThanItsLimitsAndStopsWhenTheWalkGoesElsewhere) {
  TempTree tree;
  for (int i = 0; i < 8; ++i) tree.MakeFile("d" + std::to_string(i) + "/x.tmp", "1");
  RealSysCalls sys;
  const UniqueFd root(sys, ::open(tree.Root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  const std::unique_ptr<LinuxReadAhead> started =
      StartLinuxReadAhead(sys, 2, root.Get(), 0, ReadAheadLimits{3, 1 << 20});
  ASSERT_NE(started, nullptr);
  LinuxReadAhead& ahead = *started;
  std::vector<AheadDirectory> directories;
  for (int i = 0; i < 8; ++i) {
    const std::string name = "d" + std::to_string(i);
    directories.push_back({"c:\\" + name, name, {}});
  }
  ahead.Expect(std::move(directories));
  for (int i = 0; i < 200 && ahead.HeldListings() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ahead.HeldListings(), 3u);
  EXPECT_GT(ahead.HeldBytes(), 0u);
  // Taken in order, each with its file looked at.
  for (const char* path : {"c:\\d0", "C:\\d1"}) {
    const std::string name = std::string("d") + path[4];
    const UniqueFd dir(sys, ::openat(root.Get(), name.c_str(), O_RDONLY | O_DIRECTORY));
    const std::shared_ptr<Listing> listing = ahead.Take(path, LookAtDirectory(sys, dir.Get(), 0));
    ASSERT_NE(listing, nullptr) << path;
    ASSERT_EQ(listing->FileCount(), 1);
    const FileInfo* info = listing->InfoOf("x.tmp");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->size, 1);
  }
  // A walk that goes elsewhere ends the reading ahead.
  const DirectoryIdentity any;
  EXPECT_EQ(ahead.Take("c:\\d5", any), nullptr);
  EXPECT_EQ(ahead.Take("c:\\d2", any), nullptr);
  EXPECT_EQ(ahead.HeldListings(), 0u);
  EXPECT_EQ(ahead.HeldBytes(), 0u);
}

}  // namespace
}  // namespace tidwen::test
