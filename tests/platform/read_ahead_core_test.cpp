// The read-ahead both backends share, over a reader of its own: a listing
// goes to the walk only for the directory it expects next and only when the
// walk's look at it agrees with the look taken when it was read; a directory
// the walk passes over leaves the reading ahead on, a walk that goes
// elsewhere ends it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/read_ahead.h"

namespace tidwen::test {
namespace {

struct Dir {
  std::string drivePath;
};
using Ahead = WalkReadAhead<Dir, std::string>;

// Directories by path, each read as its own name and looked at as the
// identity given; an unknown path cannot be read.
class FakeDisk {
 public:
  void Set(const std::string& path, std::uint64_t inode, bool known = true) {
    const std::lock_guard<std::mutex> lock(mutex_);
    identities_[path] = Identity(inode, known);
  }
  static DirectoryIdentity Identity(std::uint64_t inode, bool known = true) {
    DirectoryIdentity id;
    id.device = 1;
    id.inode = inode;
    id.changed = 100;
    id.known = known;
    return id;
  }
  // Every read waits on the device, or none does.
  void SetWaiting(bool waiting) { waiting_ = waiting; }
  Ahead::ReaderMaker Maker() {
    return [this] {
      return [this](const Dir& d) {
        Ahead::Read read;
        read.timed = true;
        read.waited = waiting_;
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = identities_.find(d.drivePath);
        if (found == identities_.end()) return read;
        read.listing = std::make_shared<std::string>(d.drivePath);
        read.identity = found->second;
        read.bytes = 10;
        return read;
      };
    };
  }

 private:
  std::mutex mutex_;
  std::map<std::string, DirectoryIdentity> identities_;
  std::atomic<bool> waiting_{false};
};

void WaitHeld(Ahead& ahead, std::size_t count) {
  for (int i = 0; i < 2000 && ahead.HeldListings() < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST(WalkReadAhead, ListingsGoToTheWalkOnlyWhenItsOwnLookAgrees) {
  FakeDisk disk;
  for (std::uint64_t i = 0; i < 6; ++i) disk.Set("c:\\d" + std::to_string(i), i + 1);
  disk.Set("c:\\d5", 6, false);  // changed too recently to vouch for itself
  Ahead ahead(disk.Maker(), 2, {});
  std::vector<Dir> dirs;
  for (int i = 0; i < 7; ++i) dirs.push_back({"c:\\d" + std::to_string(i)});
  ahead.Expect(dirs);
  WaitHeld(ahead, 6);
  struct Row {
    const char* path;
    DirectoryIdentity seen;
    bool taken;
  };
  DirectoryIdentity changed = FakeDisk::Identity(3);
  changed.changed = 101;
  DirectoryIdentity reborn = FakeDisk::Identity(4);
  reborn.incarnation = 7;
  const std::vector<Row> rows = {
      {"C:\\d0", FakeDisk::Identity(1), true},          // the letter in either case
      {"c:\\d1", FakeDisk::Identity(9), false},         // another directory there now
      {"c:\\d2", changed, false},                       // changed since it was read
      {"c:\\d3", reborn, false},                        // made anew with its number
      {"c:\\d4", FakeDisk::Identity(5, false), false},  // the walk's look failed
      {"c:\\d5", FakeDisk::Identity(6), false},         // read before it had settled
      {"c:\\d6", FakeDisk::Identity(7), false},         // could not be read
  };
  for (const Row& row : rows) {
    const std::shared_ptr<std::string> listing = ahead.Take(row.path, row.seen);
    EXPECT_EQ(listing != nullptr, row.taken) << row.path;
  }
  EXPECT_EQ(ahead.HeldListings(), 0u);
  EXPECT_EQ(ahead.HeldBytes(), 0u);
}

TEST(WalkReadAhead, PassingOverADirectoryGoesOnButGoingElsewhereEnds) {
  FakeDisk disk;
  for (std::uint64_t i = 0; i < 5; ++i) disk.Set("c:\\d" + std::to_string(i), i + 1);
  Ahead ahead(disk.Maker(), 2, {});
  ahead.Expect({{"c:\\d0"}, {"c:\\d1"}, {"c:\\d2"}});
  WaitHeld(ahead, 3);
  ahead.Pass("c:\\d0");  // the walk could not open it
  ahead.Pass("c:\\d0");  // nor, again, the file lister: nothing more goes
  ahead.Pass("c:\\d2");  // not the next: ignored
  EXPECT_NE(ahead.Take("c:\\d1", FakeDisk::Identity(2)), nullptr);
  // Expected after a directory passed over, and read.
  ahead.Expect({{"c:\\d3"}, {"c:\\d4"}});
  WaitHeld(ahead, 3);
  EXPECT_EQ(ahead.HeldListings(), 3u);
  EXPECT_NE(ahead.Take("c:\\d2", FakeDisk::Identity(3)), nullptr);
  // The walk goes its own way: nothing more is held or read.
  EXPECT_EQ(ahead.Take("c:\\d4", FakeDisk::Identity(5)), nullptr);
  EXPECT_EQ(ahead.HeldListings(), 0u);
  ahead.Expect({{"c:\\d0"}});
  EXPECT_EQ(ahead.Take("c:\\d0", FakeDisk::Identity(1)), nullptr);
}

TEST(WalkReadAhead, HoldsNoMoreDirectoriesOrBytesThanItsLimits) {
  FakeDisk disk;
  std::vector<Dir> dirs;
  for (std::uint64_t i = 0; i < 20; ++i) {
    dirs.push_back({"c:\\d" + std::to_string(i)});
    disk.Set(dirs.back().drivePath, i + 1);
  }
  struct Row {
    ReadAheadLimits limits;
    int workers;
    std::size_t most;  // listings held; each holds 10 bytes
  };
  // The byte limit is met when a listing is done, so one worker makes it
  // exact; each worker may begin one listing more.
  for (const Row& row : {Row{{4, 1000}, 3, 4}, Row{{100, 30}, 1, 3}}) {
    Ahead ahead(disk.Maker(), row.workers, row.limits);
    ahead.Expect(dirs);
    WaitHeld(ahead, row.most);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ahead.HeldListings(), row.most);
    EXPECT_EQ(ahead.HeldBytes(), row.most * 10);
    // Taking one makes room for one more.
    EXPECT_NE(ahead.Take("c:\\d0", FakeDisk::Identity(1)), nullptr);
    WaitHeld(ahead, row.most);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ahead.HeldListings(), row.most);
    EXPECT_NE(ahead.Take("c:\\d1", FakeDisk::Identity(2)), nullptr);
  }
}

// Reads that wait on the device call for more workers, up to the limit;
// reads that do not, for as many as were asked for.
TEST(WalkReadAhead, MoreWorkersReadWhileReadsWaitOnTheDevice) {
  FakeDisk disk;
  std::vector<Dir> dirs;
  for (std::uint64_t i = 0; i < 400; ++i) {
    dirs.push_back({"c:\\d" + std::to_string(i)});
    disk.Set(dirs.back().drivePath, i + 1);
  }
  const auto run = [&](std::size_t from, std::size_t to, Ahead& ahead) {
    ahead.Expect(std::vector<Dir>(dirs.begin() + from, dirs.begin() + to));
    WaitHeld(ahead, to - from);
    for (std::size_t i = from; i < to; ++i)
      ahead.Take(dirs[i].drivePath, FakeDisk::Identity(i + 1));
  };
  Ahead ahead(disk.Maker(), 2, ReadAheadLimits{4096, 1 << 20, 8});
  run(0, 100, ahead);
  EXPECT_EQ(ahead.ActiveWorkers(), 2);
  disk.SetWaiting(true);
  run(100, 250, ahead);
  EXPECT_EQ(ahead.ActiveWorkers(), 8);
  disk.SetWaiting(false);
  run(250, 400, ahead);
  EXPECT_EQ(ahead.ActiveWorkers(), 2);
}

}  // namespace
}  // namespace tidwen::test
