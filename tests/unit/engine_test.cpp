// The engine's verbs over the in-memory platform: the junk test, the walk
// (order, batches, progress, stopping, failures as data, repeat walks) and
// the deletion (outcomes, twins, what waits on the user, stopping).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/deletion.h"
#include "engine/junk_test.h"
#include "engine/walk.h"
#include "memory_platform.h"
#include "model/runtime_error.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(JunkTestVerb, ListsTypesInTheWindowsOrderAndNeverOfferedNamesUnderNone) {
  JunkTypes noTmp;
  for (int t = 0; t < kJunkTypeCount; ++t) {
    if (t != 8) noTmp.Add(t);
  }
  const struct {
    std::string_view name;
    std::int64_t length;
    JunkTypes chosen;
    std::vector<int> types;
  } rows[] = {
      {"a.$$$", 3, JunkTypes::All(), {13, 1}},
      {"a.$$$", 0, JunkTypes::All(), {15}},
      {"A.BAK", 1, JunkTypes::All(), {3}},
      {"a.Bak", 1, JunkTypes::All(), {}},
      {"notes.txt~", 9, JunkTypes::All(), {2}},
      {"tmp", 1, JunkTypes::All(), {}},
      {"empty.txt", 0, JunkTypes::All(), {15}},
      {"a.tmp", 1, noTmp, {}},
      {"a.tmp", 0, noTmp, {15}},
      {"__init__.py", 0, JunkTypes::All(), {}},
      {"__INIT__.PY", 0, JunkTypes::All(), {}},
      {".gitkeep", 0, JunkTypes::All(), {}},
  };
  for (const auto& row : rows) {
    const JunkMatches matches = TestJunk(row.name, row.length, row.chosen);
    const std::vector<int> got(matches.types.begin(), matches.types.begin() + matches.count);
    EXPECT_EQ(got, row.types) << row.name << " " << row.length;
  }
  EXPECT_EQ(JunkTypeNamed("*.tmp"), 8);
  EXPECT_EQ(JunkTypeNamed("0字节"), 15);
  EXPECT_EQ(JunkTypeNamed("*.TMP"), std::nullopt);
}

// Records what a walk hands over, call by call.
struct RecordingSink : WalkSink {
  explicit RecordingSink(const PathArena& a) : arena(a) {}
  void Hits(std::span<const Hit> hits) override {
    batches.push_back(hits.size());
    for (const Hit& h : hits) {
      log.push_back(arena.Path(h.dir, h.name) + " #" + std::to_string(h.type));
      stamps.push_back(h.stamp);
    }
  }
  void Testing(const WalkProgress& p) override {
    log.push_back(std::string(p.inStart ? "start " : "test ") + std::string(p.file));
    progress.push_back({p.directoriesDone, p.filesTested, p.hits});
    if (onTesting) onTesting();
  }
  void Skipped(std::string_view dir, int number) override {
    log.push_back("skip " + std::string(dir) + " " + std::to_string(number));
  }
  const PathArena& arena;
  std::vector<std::string> log;
  std::vector<std::size_t> batches;
  std::vector<FileStamp> stamps;
  std::vector<std::array<std::int64_t, 3>> progress;
  std::function<void()> onTesting;
};

class WalkVerb : public ::testing::Test {
 protected:
  WalkResult Walk(std::string_view start, const WalkOptions& options = {},
                  const StopSignal* stop = nullptr) {
    return WalkDrive({p.Dir1, p.File1, p.FileLength}, arena, start, JunkTypes::All(), sink, stop,
                     options);
  }
  std::vector<std::string> Queued(const WalkResult& r) const {
    std::vector<std::string> out;
    for (auto d = r.start + 1; d < r.end; ++d) out.push_back(arena.Path(d));
    return out;
  }

  MemoryPlatform p;
  PathArena arena;
  RecordingSink sink{arena};
};

TEST_F(WalkVerb, WalksBreadthFirstWithProgressAndHitsInOrder) {
  p.tree.AddFile("c:\\r.tmp");
  p.tree.AddFile("c:\\A\\a.$$$");
  p.tree.AddFile("c:\\A\\A1\\x.txt", 0);
  p.tree.AddFile("c:\\B\\keep.txt");
  const WalkResult r = Walk("c:\\", {.batch = 1});
  EXPECT_THAT(sink.log, ElementsAre("start c:\\r.tmp", "c:\\r.tmp #8", "test c:\\A\\a.$$$",
                                    "c:\\A\\a.$$$ #13", "c:\\A\\a.$$$ #1", "test c:\\B\\keep.txt",
                                    "test c:\\A\\A1\\x.txt", "c:\\A\\A1\\x.txt #15"));
  EXPECT_THAT(Queued(r), ElementsAre("c:\\A", "c:\\B", "c:\\A\\A1"));
  EXPECT_EQ(arena.Path(r.last), "c:\\A\\A1");
  // Directories listed, files tested and hits before each file.
  using P = std::array<std::int64_t, 3>;
  EXPECT_THAT(sink.progress, ElementsAre(P{1, 0, 0}, P{2, 1, 1}, P{3, 2, 3}, P{4, 3, 3}));
  EXPECT_EQ(r.directoriesDone, 4);
  EXPECT_EQ(r.filesTested, 4);
  EXPECT_EQ(r.hits, 4);
  EXPECT_FALSE(r.stopped || r.outOfDescriptors);
  EXPECT_TRUE(sink.stamps[0].known);
}

TEST_F(WalkVerb, HandsHitsOverInBatchesAndTheRestAtTheEnd) {
  for (int i = 0; i < 7; ++i) p.tree.AddFile("c:\\d\\f" + std::to_string(i) + ".tmp");
  Walk("c:\\", {.batch = 3});
  EXPECT_THAT(sink.batches, ElementsAre(3, 3, 1));
}

TEST_F(WalkVerb, AFolderIsWalkedAsItsOwnStart) {
  p.tree.AddFile("c:\\w\\x.tmp");
  p.tree.AddFile("c:\\w\\s\\y.tmp");
  p.tree.AddFile("c:\\z.tmp");
  const WalkResult r = Walk("c:\\w");
  EXPECT_THAT(sink.log, ElementsAre("start c:\\w\\x.tmp", "test c:\\w\\s\\y.tmp", "c:\\w\\x.tmp #8",
                                    "c:\\w\\s\\y.tmp #8"));
  EXPECT_THAT(Queued(r), ElementsAre("c:\\w\\s"));
}

TEST_F(WalkVerb, StopsBetweenTwoFilesKeepingWhatItFound) {
  for (const char* f : {"c:\\a.tmp", "c:\\b.tmp", "c:\\c.tmp", "c:\\D\\d.tmp"}) {
    p.tree.AddFile(f);
  }
  StopSignal stop;
  int tested = 0;
  sink.onTesting = [&] {
    if (++tested == 2) stop.Request();
  };
  const WalkResult r = Walk("c:\\", {.batch = 10}, &stop);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.filesTested, 2);
  EXPECT_THAT(sink.batches, ElementsAre(2));
  EXPECT_THAT(p.FileLength.queries,
              ElementsAre("c:\\a.tmp", "c:\\a.tmp", "c:\\b.tmp", "c:\\b.tmp"));
}

TEST_F(WalkVerb, FailuresAreReportedAsDataAndOnlyRunningOutOfDescriptorsEndsTheWalk) {
  p.tree.AddFile("c:\\A\\a.tmp");
  p.tree.AddFile("c:\\B\\b.tmp");
  p.tree.AddFile("c:\\B\\c.tmp");
  p.tree.AddFile("c:\\C\\d.tmp");
  p.tree.AddFile("c:\\D\\e.tmp");
  p.tree.FailListing("c:\\A", kPermissionDenied);
  p.tree.FailLength("c:\\B\\b.tmp", kDeviceIo);
  p.tree.FailListing("c:\\D", kTooManyFiles);
  const WalkResult r = Walk("c:\\");
  EXPECT_EQ(r.directoriesSkipped, 1);
  EXPECT_EQ(r.filesSkipped, 1);
  EXPECT_TRUE(r.outOfDescriptors);
  EXPECT_EQ(r.hits, 2);
  EXPECT_THAT(sink.log, ::testing::Contains("skip c:\\A 70"));
  EXPECT_THAT(sink.log, ::testing::Not(::testing::Contains("test c:\\D\\e.tmp")));

  // A start that cannot be listed says why, and nothing else happens.
  MemoryPlatform q;
  q.tree.FailListing("c:\\", kDiskNotReady);
  PathArena other;
  RecordingSink quiet(other);
  const WalkResult none =
      WalkDrive({q.Dir1, q.File1, q.FileLength}, other, "c:\\", JunkTypes::All(), quiet);
  EXPECT_EQ(none.startError, kDiskNotReady);
  EXPECT_EQ(other.Count(), 0u);
  EXPECT_THAT(quiet.log, ElementsAre("skip c:\\ 71"));
}

TEST_F(WalkVerb, ARepeatWalkIntoTheSameArenaWalksOnlyWhatItQueues) {
  p.tree.AddFile("c:\\A\\A1\\a.tmp");
  const WalkResult first = Walk("c:\\");
  p.Dir1.visited.clear();
  const WalkResult second = Walk("c:\\");
  EXPECT_THAT(p.Dir1.visited, ElementsAre("c:\\", "c:\\A", "c:\\A\\A1"));
  EXPECT_EQ(second.start, first.end);
  EXPECT_THAT(Queued(second), ElementsAre("c:\\A", "c:\\A\\A1"));
}

// As a window will run it: the walk on a worker, its hits handed over in
// batches to another thread that builds their paths from the arena and asks
// the walk to stop. Each batch waits until it has been taken in, so that
// where the walk stops does not hang on the machine's load.
// (ThreadSanitizer checks the hand-over.)
TEST_F(WalkVerb, RunsOnAWorkerWhileAnotherThreadTakesItsHitsAndStopsIt) {
  for (int d = 0; d < 40; ++d) {
    for (int f = 0; f < 5; ++f) {
      p.tree.AddFile("c:\\d" + std::to_string(d) + "\\e\\f" + std::to_string(f) + ".tmp");
    }
  }
  struct Handover : WalkSink {
    void Hits(std::span<const Hit> hits) override {
      std::unique_lock<std::mutex> lock(mutex);
      for (const Hit& h : hits) queued.emplace_back(h.dir, std::string(h.name));
      ++handed;
      changed.notify_all();
      changed.wait(lock, [&] { return taken == handed; });
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<PathArena::Index, std::string>> queued;
    int handed = 0, taken = 0;
    bool done = false;
  } handover;
  StopSignal stop;
  WalkResult result;
  std::thread worker([&] {
    result = WalkDrive({p.Dir1, p.File1, p.FileLength}, arena, "c:\\", JunkTypes::All(), handover,
                       &stop, {.batch = 7});
    const std::lock_guard<std::mutex> lock(handover.mutex);
    handover.done = true;
    handover.changed.notify_all();
  });
  std::vector<std::string> shown;
  std::unique_lock<std::mutex> lock(handover.mutex);
  while (true) {
    handover.changed.wait(lock, [&] { return handover.done || handover.taken < handover.handed; });
    if (handover.done) break;
    for (const auto& [dir, name] : std::exchange(handover.queued, {})) {
      shown.push_back(arena.Path(dir, name));
    }
    if (shown.size() >= 100) stop.Request();
    ++handover.taken;
    handover.changed.notify_all();
  }
  lock.unlock();
  worker.join();
  EXPECT_TRUE(result.stopped);
  EXPECT_EQ(shown.size(), 105u);  // the batch that reached 100, whole
  EXPECT_EQ(static_cast<std::int64_t>(shown.size()), result.hits);
  EXPECT_EQ(shown.front(), "c:\\d0\\e\\f0.tmp");
}

// Deletion targets over plain rows, and an observer that records each
// outcome and what the file system had kept when it was told.
struct Rows : DeletionTargets {
  std::vector<std::pair<std::string, FileStamp>> rows;
  std::int64_t Count() const override { return static_cast<std::int64_t>(rows.size()); }
  std::string_view Path(std::int64_t i) const override { return rows.at(i).first; }
  FileStamp Stamp(std::int64_t i) const override { return rows.at(i).second; }
};

struct KeepingFileSystem : MemoryFileSystem {
  using MemoryFileSystem::MemoryFileSystem;
  void ReleaseKept() noexcept override { kept = false; }
  std::unique_ptr<FileSystemObject> CreateFileSystemObject() override {
    kept = true;
    return MemoryFileSystem::CreateFileSystemObject();
  }
  bool kept = false;
};

struct Outcomes : DeletionObserver {
  explicit Outcomes(const KeepingFileSystem& f) : fs(f) {}
  void Done(std::int64_t i, std::string_view path, const DeletionOutcome& o) override {
    static const char* const kNames[] = {"deleted", "twin", "refused", "gone"};
    log.push_back(std::to_string(i) + " " + std::string(path) + " " +
                  kNames[static_cast<int>(o.result)] + " " + std::to_string(o.number) +
                  (o.Failed() && fs.kept ? " KEPT" : ""));
    if (onDone) onDone();
  }
  const KeepingFileSystem& fs;
  std::vector<std::string> log;
  std::function<void()> onDone;
};

TEST(DeletionVerb, ReportsEachOutcomeAndReleasesWhatIsKeptBeforeAFailure) {
  MemoryTree tree;
  KeepingFileSystem fs(tree);
  tree.AddFile("c:\\a.tmp");
  tree.AddFile("c:\\ro.tmp", 1, /*readOnly=*/true);
  tree.AddFile("c:\\busy.tmp");
  tree.FailDelete("c:\\busy.tmp", kFileBusy);
  Rows targets;
  targets.rows = {{"c:\\a.tmp", {}},
                  {"c:\\a.tmp", {}},
                  {"c:\\ro.tmp", {}},
                  {"c:\\gone.tmp", {}},
                  {"c:\\busy.tmp", {}}};
  DeletedFiles deleted;
  Outcomes outcomes(fs);
  const DeletionSummary s = DeleteFiles(fs, targets, deleted, outcomes);
  EXPECT_THAT(outcomes.log,
              ElementsAre("0 c:\\a.tmp deleted 0", "1 c:\\a.tmp twin 0", "2 c:\\ro.tmp refused 70",
                          "3 c:\\gone.tmp gone 53", "4 c:\\busy.tmp refused 72"));
  EXPECT_EQ(s.deleted, 1);
  EXPECT_EQ(s.alreadyDeleted, 1);
  EXPECT_EQ(s.refused, 2);
  EXPECT_EQ(s.gone, 1);
  EXPECT_EQ(fs.batches, 1);
  EXPECT_FALSE(fs.inBatch);
  EXPECT_TRUE(deleted.Contains("c:\\a.tmp", FileStamp{1, 5, false, true}));
  EXPECT_FALSE(deleted.Contains("c:\\b.tmp", {}));
}

TEST(DeletionVerb, StopsBetweenTwoFilesAndOnRunningOutOfDescriptors) {
  for (const bool outOfDescriptors : {false, true}) {
    SCOPED_TRACE(outOfDescriptors ? "67" : "stop");
    MemoryTree tree;
    KeepingFileSystem fs(tree);
    Rows targets;
    for (const char* path : {"c:\\a.tmp", "c:\\b.tmp", "c:\\c.tmp", "c:\\d.tmp"}) {
      tree.AddFile(path);
      targets.rows.push_back({path, {}});
    }
    if (outOfDescriptors) tree.FailDelete("c:\\b.tmp", kTooManyFiles);
    StopSignal stop;
    DeletedFiles deleted;
    Outcomes outcomes(fs);
    outcomes.onDone = [&] {
      if (!outOfDescriptors && outcomes.log.size() == 2) stop.Request();
    };
    const DeletionSummary s = DeleteFiles(fs, targets, deleted, outcomes, &stop);
    EXPECT_EQ(outcomes.log.size(), 2u);
    EXPECT_EQ(s.notTried, 2);
    EXPECT_EQ(s.stopped, !outOfDescriptors);
    EXPECT_EQ(s.outOfDescriptors, outOfDescriptors);
    EXPECT_TRUE(tree.HasFile("c:\\c.tmp") && tree.HasFile("c:\\d.tmp"));
  }
}

}  // namespace
}  // namespace tidwen::test
