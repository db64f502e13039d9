// The benchmark's figures are only worth something if its generator, its
// model of a scan, its find expression and its reference walk agree with one
// another; these tests hold them to that on small trees.

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench_model.h"
#include "bench_tree.h"
#include "child_report.h"
#include "floor_walk.h"
#include "process_run.h"

namespace tidwen::bench {
namespace {

constexpr const char* kFind = "/usr/bin/find";
constexpr const char* kBfs = "/usr/bin/bfs";

std::vector<std::string> FindArgs(const char* tool, const std::string& root, const char* action) {
  std::vector<std::string> argv = {tool, root};
  for (std::string& arg : FindExpression()) argv.push_back(std::move(arg));
  argv.push_back(action);
  return argv;
}

TEST(JunkModel, CountsOneEntryPerMatchingTypeAndOneForEmptyFiles) {
  EXPECT_EQ(JunkEntryCount("a.bak", false), 1);
  EXPECT_EQ(JunkEntryCount("A.BAK", false), 1);
  EXPECT_EQ(JunkEntryCount("a.Bak", false), 0);
  EXPECT_EQ(JunkEntryCount("a.bAK", false), 0);
  EXPECT_EQ(JunkEntryCount("x._MP", false), 1);
  EXPECT_EQ(JunkEntryCount("x.@@@", false), 1);
  // ".$$$" also ends in "$": two entries.
  EXPECT_EQ(JunkEntryCount("a.$$$", false), 2);
  EXPECT_EQ(JunkEntryCount("abc$", false), 1);
  EXPECT_EQ(JunkEntryCount("notes.txt~", false), 1);
  EXPECT_EQ(JunkEntryCount("a.----", false), 0);
  EXPECT_EQ(JunkEntryCount("a.bak.txt", false), 0);
  EXPECT_EQ(JunkEntryCount("tmp", false), 0);
  // An empty file is one entry whatever its name, and never a suffix entry.
  EXPECT_EQ(JunkEntryCount("a.$$$", true), 1);
  EXPECT_EQ(JunkEntryCount("plain.txt", true), 1);
}

TEST(JunkModel, ListsNeitherHiddenNamesNorNamesWithBackslash) {
  EXPECT_TRUE(IsListedName("a.tmp"));
  EXPECT_TRUE(IsListedName("a\xff.tmp"));
  EXPECT_FALSE(IsListedName(".a.tmp"));
  EXPECT_FALSE(IsListedName("a\\b.tmp"));
  EXPECT_FALSE(IsListedName(""));
}

TEST(HitComparison, MapsDrivePathsAndComparesWithMultiplicity) {
  EXPECT_EQ(DrivePathToPosix("c:\\x.tmp", "/r"), "/r/x.tmp");
  EXPECT_EQ(DrivePathToPosix("C:\\a\\b\\x.tmp", "/r"), "/r/a/b/x.tmp");
  EXPECT_EQ(DrivePathToPosix("d:\\x.tmp", "/r"), "");
  EXPECT_EQ(DrivePathToPosix("c:x.tmp", "/r"), "");

  MultisetDiff diff = CompareMultisets({"b", "a", "a"}, {"a", "c", "b"});
  EXPECT_EQ(diff.onlyLeft, std::vector<std::string>{"a"});
  EXPECT_EQ(diff.onlyRight, std::vector<std::string>{"c"});
  EXPECT_FALSE(diff.Same());
  EXPECT_TRUE(CompareMultisets({"a", "a", "b"}, {"b", "a", "a"}).Same());

  EXPECT_EQ(SplitNulRecords(std::string("a\0b c\0", 6)), (std::vector<std::string>{"a", "b c"}));
  EXPECT_EQ(Printable("a\\\xff"), "a\\x5c\\xff");
}

TEST(ChildReportFormat, CarriesValuesAndRecordsWithAnyBytes) {
  std::string output = "seconds 0.25\ncaption_ok 1\n\n";
  output += std::string("c:\\a\nb.tmp\0c:\\\xff.bak\0", 20);
  ChildReport report;
  ASSERT_TRUE(ParseChildReport(output, report));
  EXPECT_DOUBLE_EQ(report.Number("seconds"), 0.25);
  EXPECT_EQ(report.Text("caption_ok"), "1");
  EXPECT_FALSE(report.Has("missing"));
  EXPECT_EQ(report.records, (std::vector<std::string>{"c:\\a\nb.tmp", "c:\\\xff.bak"}));

  ChildReport cut;
  EXPECT_FALSE(ParseChildReport("seconds 0.25\n", cut));
}

TEST(ProcessRunner, CapturesOutputAndReportsExitCodes) {
  ProcessResult echo = RunProcess({"/bin/sh", "-c", "printf 'a\\0b'; exit 3"}, Output::kCapture);
  EXPECT_EQ(echo.exitCode, 3);
  EXPECT_EQ(echo.output, std::string("a\0b", 3));
  EXPECT_GT(echo.seconds, 0.0);

  ProcessResult quiet = RunProcess({"/bin/sh", "-c", "echo hidden"}, Output::kDiscard);
  EXPECT_TRUE(quiet.Ok());
  EXPECT_TRUE(quiet.output.empty());

  EXPECT_EQ(RunProcess({"/nonexistent/program"}, Output::kCapture).exitCode, 127);
}

class GeneratedTree : public ::testing::Test {
 protected:
  void SetUp() override { tree_ = std::make_unique<TreeGuard>(MakeTempRoot("/tmp", "test")); }
  const std::string& Root() const { return tree_->Root(); }

  std::unique_ptr<TreeGuard> tree_;
};

// Every path that find selected, each with the number of entries the model
// gives it.
std::int64_t ModelEntriesOf(const std::vector<std::string>& paths) {
  std::int64_t entries = 0;
  for (const std::string& path : paths) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    std::string name = path.substr(path.rfind('/') + 1);
    if (!IsListedName(name)) return -1;
    entries += JunkEntryCount(name, st.st_size == 0);
  }
  return entries;
}

TEST_F(GeneratedTree, FindExpressionSelectsWhatTheModelCounts) {
  TreeStats stats = GenerateScanTree(Root(), 6000, 300, 7, 40);
  ASSERT_GT(stats.expectedHits, 0);
  ASSERT_GT(stats.hiddenFiles, 0);
  ASSERT_GT(stats.emptyFiles, 0);

  ProcessResult find = RunProcess(FindArgs(kFind, Root(), "-print0"), Output::kCapture);
  ASSERT_TRUE(find.Ok());
  std::vector<std::string> paths = SplitNulRecords(find.output);
  EXPECT_EQ(ModelEntriesOf(paths), stats.expectedHits);
  EXPECT_EQ(static_cast<std::int64_t>(ExpandFindHits(paths).size()), stats.expectedHits);
  EXPECT_EQ(static_cast<std::int64_t>(paths.size()), stats.junkFiles);
}

TEST_F(GeneratedTree, BfsSelectsTheSamePathsAsFind) {
  if (access(kBfs, X_OK) != 0) GTEST_SKIP() << kBfs << " is not installed";
  GenerateScanTree(Root(), 3000, 150, 11, 20);
  ProcessResult find = RunProcess(FindArgs(kFind, Root(), "-print0"), Output::kCapture);
  ProcessResult bfs = RunProcess(FindArgs(kBfs, Root(), "-print0"), Output::kCapture);
  ASSERT_TRUE(find.Ok());
  ASSERT_TRUE(bfs.Ok());
  EXPECT_TRUE(CompareMultisets(SplitNulRecords(find.output), SplitNulRecords(bfs.output)).Same());
}

TEST_F(GeneratedTree, FloorWalkCountsWhatTheGeneratorMade) {
  // Many directories of a random shape, links to directories (one to the
  // root) and fifos: the walk must visit each directory once and follow no
  // link.
  TreeStats stats = GenerateScanTree(Root(), 3000, 800, 3, 60);
  FloorResult floor = FloorWalk(Root());
  EXPECT_EQ(floor.dirs, stats.dirs);
  EXPECT_EQ(floor.files, stats.listedFiles);
  EXPECT_EQ(floor.hits, stats.expectedHits);
  EXPECT_EQ(floor.errors, 0);
}

TEST_F(GeneratedTree, FloorWalkOfAMissingRootCountsAnError) {
  FloorResult floor = FloorWalk(Root() + "/missing");
  EXPECT_EQ(floor.dirs, 0);
  EXPECT_EQ(floor.errors, 1);
}

// Relative path and size of every entry, sorted: what makes two trees equal.
std::vector<std::string>* gListing = nullptr;
std::size_t gRootLength = 0;
int AddToListing(const char* path, const struct stat* st, int, struct FTW*) {
  gListing->push_back(std::string(path + gRootLength) + " " + std::to_string(st->st_size) + " " +
                      std::to_string(st->st_mode & S_IFMT));
  return 0;
}
std::vector<std::string> Listing(const std::string& root) {
  std::vector<std::string> listing;
  gListing = &listing;
  gRootLength = root.size();
  nftw(root.c_str(), AddToListing, 32, FTW_PHYS);
  std::sort(listing.begin(), listing.end());
  return listing;
}

TEST_F(GeneratedTree, SameSeedMakesTheSameTree) {
  TreeGuard other(MakeTempRoot("/tmp", "test"));
  GenerateScanTree(Root(), 800, 60, 5, 8);
  GenerateScanTree(other.Root(), 800, 60, 5, 8);
  std::vector<std::string> first = Listing(Root());
  EXPECT_EQ(first.size(), 800u + 60u + 8u);
  EXPECT_EQ(first, Listing(other.Root()));

  TreeGuard third(MakeTempRoot("/tmp", "test"));
  GenerateScanTree(third.Root(), 800, 60, 6, 8);
  EXPECT_NE(first, Listing(third.Root()));
}

TEST_F(GeneratedTree, DeletionTreeLeftoversAreCountedBeforeAndAfterFindDelete) {
  TreeStats stats = GenerateDeleteTree(Root(), 2000, 70, 9);
  EXPECT_EQ(stats.junkFiles, 2000);
  EXPECT_EQ(stats.expectedHits, 2000);  // no name stands twice
  EXPECT_EQ(stats.keptFiles, 200);

  DeleteLeftovers before = CountLeftovers(Root());
  EXPECT_EQ(before.junkLeft, 2000);
  EXPECT_EQ(before.keptLeft, 200);
  EXPECT_FALSE(before.firstJunkLeft.empty());

  ASSERT_TRUE(RunProcess(FindArgs(kFind, Root(), "-delete"), Output::kDiscard).Ok());
  DeleteLeftovers after = CountLeftovers(Root());
  EXPECT_EQ(after.junkLeft, 0);
  EXPECT_EQ(after.keptLeft, 200);
  EXPECT_TRUE(after.firstJunkLeft.empty());
}

TEST(TreeCleanup, GuardRemovesItsTreeUnlessKept) {
  std::string removed;
  {
    TreeGuard guard(MakeTempRoot("/tmp", "test"));
    removed = guard.Root();
    GenerateScanTree(removed, 50, 10, 1, 8);
  }
  struct stat st {};
  EXPECT_NE(lstat(removed.c_str(), &st), 0);

  std::string kept;
  {
    TreeGuard guard(MakeTempRoot("/tmp", "test"));
    kept = guard.Root();
    guard.Keep();
  }
  EXPECT_EQ(lstat(kept.c_str(), &st), 0);
  EXPECT_TRUE(RemoveTree(kept));
}

}  // namespace
}  // namespace tidwen::bench
