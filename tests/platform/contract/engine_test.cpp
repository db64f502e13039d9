// The engine's verbs on every backend: the walk of a folder and of the
// drive, and the deletion with each of its outcomes, on a real tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "contract_support.h"
#include "engine/deletion.h"
#include "engine/walk.h"

namespace tidwen::contract {
namespace {

using ::testing::ElementsAre;

struct Found : WalkSink {
  explicit Found(const PathArena& a) : arena(a) {}
  void Hits(std::span<const Hit> hits) override {
    for (const Hit& h : hits) {
      paths.push_back(arena.Path(h.dir, h.name));
      lengths.push_back(h.length);
      known = known && h.stamp.known;
      stamps.push_back(h.stamp);
    }
  }
  void Testing(const WalkProgress& p) override { tested.emplace_back(p.file); }
  const PathArena& arena;
  std::vector<std::string> paths, tested;
  std::vector<std::int64_t> lengths;
  std::vector<FileStamp> stamps;
  bool known = true;
};

class ContractEngine : public PlatformTest {
 protected:
  WalkResult Walk(std::string_view start, Found& found) {
    return WalkDrive({platform_->Dir1(), platform_->File1(), platform_->FileLength()}, arena_,
                     start, JunkTypes::All(), found, nullptr, {.batch = 2});
  }
  PathArena arena_;
};
CONTRACT_SUITE(ContractEngine);

TEST_P(ContractEngine, WalksAFolderOrTheDriveBreadthFirst) {
  tree_.File("top.tmp");
  tree_.File("w/x.bak", "12345");
  tree_.File("w/keep.txt");
  tree_.File("w/s/e.txt", "");
  tree_.File("w/s/t/deep.old");
  Found inFolder(arena_);
  const WalkResult folder = Walk("c:\\w", inFolder);
  EXPECT_THAT(inFolder.paths,
              ElementsAre("c:\\w\\x.bak", "c:\\w\\s\\e.txt", "c:\\w\\s\\t\\deep.old"));
  EXPECT_THAT(inFolder.lengths, ElementsAre(5, 0, 1));
  EXPECT_TRUE(inFolder.known);
  EXPECT_EQ(inFolder.tested.size(), 4u);
  EXPECT_EQ(folder.directoriesDone, 3);
  EXPECT_EQ(arena_.Path(folder.start + 1), "c:\\w\\s");

  Found onDrive(arena_);
  const WalkResult drive = Walk("c:\\", onDrive);
  EXPECT_EQ(onDrive.paths.front(), "c:\\top.tmp");
  EXPECT_EQ(onDrive.paths.size(), 4u);
  EXPECT_EQ(drive.start, folder.end);
  EXPECT_EQ(drive.directoriesDone, 4);
  platform_->ReleaseHandles();
}

TEST_P(ContractEngine, DeletesWhatIsStillTheFileFoundAndSaysWhyNotOtherwise) {
  for (const char* f : {"a.tmp", "ro.tmp", "swapped.tmp", "gone.tmp"}) tree_.File(f, "old");
  tree_.SetReadOnly("ro.tmp");
  Found found(arena_);
  Walk("c:\\", found);
  ASSERT_EQ(found.paths,
            InListingOrder(tree_, "", {"a.tmp", "gone.tmp", "ro.tmp", "swapped.tmp"}, "c:\\"));
  platform_->ReleaseHandles();
  tree_.Remove("gone.tmp");
  tree_.File("new.tmp", "new");
  fs::rename(tree_.Path("new.tmp"), tree_.Path("swapped.tmp"));

  struct Targets : DeletionTargets {
    const Found& found;
    explicit Targets(const Found& f) : found(f) {}
    // Every hit, and a.tmp once more.
    std::int64_t Count() const override {
      return static_cast<std::int64_t>(found.paths.size()) + 1;
    }
    std::string_view Path(std::int64_t i) const override { return found.paths[Row(i)]; }
    FileStamp Stamp(std::int64_t i) const override { return found.stamps[Row(i)]; }
    std::size_t Row(std::int64_t i) const {
      if (static_cast<std::size_t>(i) < found.paths.size()) return static_cast<std::size_t>(i);
      return static_cast<std::size_t>(
          std::find(found.paths.begin(), found.paths.end(), "c:\\a.tmp") - found.paths.begin());
    }
  } targets(found);
  struct Log : DeletionObserver {
    void Done(std::int64_t, std::string_view path, const DeletionOutcome& o) override {
      lines.push_back(std::string(path) + " " + std::to_string(static_cast<int>(o.result)) + " " +
                      std::to_string(o.number) + (o.Failed() == o.reason.empty() ? " ?" : ""));
    }
    std::vector<std::string> lines;
  } log;
  DeletedFiles deleted;
  const DeletionSummary s = DeleteFiles(platform_->FileSystem(), targets, deleted, log);
  // Deleted 0, twin 1, refused 2, gone 3; a failure says why in words.
  const std::map<std::string, std::string> outcome = {{"c:\\a.tmp", "0 0"},
                                                      {"c:\\gone.tmp", "3 53"},
                                                      {"c:\\ro.tmp", "2 70"},
                                                      {"c:\\swapped.tmp", "2 70"}};
  std::vector<std::string> want;
  for (const std::string& path : found.paths) want.push_back(path + " " + outcome.at(path));
  want.push_back("c:\\a.tmp 1 0");
  EXPECT_EQ(log.lines, want);
  EXPECT_EQ(s.deleted, 1);
  EXPECT_FALSE(tree_.Exists("a.tmp"));
  EXPECT_TRUE(tree_.ReadOnly("ro.tmp"));
  EXPECT_EQ(tree_.Read("swapped.tmp"), "new");
  platform_->ReleaseHandles();
}

}  // namespace
}  // namespace tidwen::contract
