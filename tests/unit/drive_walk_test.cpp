#include "scan/drive_walk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "memory_platform.h"
#include "model/runtime_error.h"
#include "rules/junk_rules.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DriveWalkTest : public ::testing::Test {
 protected:
  void SetUp() override { Form_Load(p.context); }

  // The files tested, in order: each test starts with a length query of its
  // own path, and plain names are queried exactly once.
  const std::vector<std::string>& Tested() const { return p.FileLength.queries; }

  std::vector<std::string> Queue() const { return p.List3.Texts(); }

  MemoryPlatform p;
};

TEST_F(DriveWalkTest, EmptyDriveTestsNothingAndReportsZero) {
  Command1_Click(p.context);
  EXPECT_THAT(Tested(), IsEmpty());
  EXPECT_THAT(Queue(), IsEmpty());
  EXPECT_THAT(p.Label1.captions, ElementsAre("共找到 0个垃圾文件"));
}

TEST_F(DriveWalkTest, SwitchesToTheResultsView) {
  Command1_Click(p.context);
  EXPECT_FALSE(p.Dir1.Visible());
  EXPECT_FALSE(p.Drive1.Visible());
  EXPECT_FALSE(p.File1.Visible());
  EXPECT_FALSE(p.List2.Visible());
  EXPECT_TRUE(p.List1.Visible());
  EXPECT_FALSE(p.List3.Visible());
}

TEST_F(DriveWalkTest, RootFilesAloneNeverShowAPathInTheLabel) {
  p.tree.AddFile("c:\\x.tmp");
  p.tree.AddFile("c:\\readme.txt");
  Command1_Click(p.context);
  EXPECT_THAT(Tested(), ElementsAre("c:\\x.tmp", "c:\\x.tmp", "c:\\readme.txt"));
  EXPECT_THAT(p.Label1.captions, ElementsAre("共找到 1个垃圾文件"));
  EXPECT_THAT(p.Dir1.visited, ElementsAre("c:\\"));
}

TEST_F(DriveWalkTest, WalksBreadthFirstAndQueuesEveryDirectory) {
  p.tree.AddFile("c:\\r.txt");
  p.tree.AddFile("c:\\A\\a.txt");
  p.tree.AddFile("c:\\A\\A1\\a1.txt");
  p.tree.AddFile("c:\\B\\b.txt");
  p.tree.AddFile("c:\\B\\B1\\b1.txt");
  p.tree.AddDirectory("c:\\B\\B2");  // no files, no subdirectories
  Command1_Click(p.context);
  EXPECT_THAT(Tested(), ElementsAre("c:\\r.txt", "c:\\A\\a.txt", "c:\\B\\b.txt",
                                    "c:\\A\\A1\\a1.txt", "c:\\B\\B1\\b1.txt"));
  EXPECT_THAT(Queue(), ElementsAre("c:\\A", "c:\\B", "c:\\A\\A1", "c:\\B\\B1", "c:\\B\\B2"));
  EXPECT_THAT(p.Dir1.visited,
              ElementsAre("c:\\", "c:\\A", "c:\\B", "c:\\A\\A1", "c:\\B\\B1", "c:\\B\\B2"));
  // Dir1 and File1 stay on the last directory visited.
  EXPECT_EQ(p.Dir1.Path(), "c:\\B\\B2");
  EXPECT_EQ(p.File1.Path(), "c:\\B\\B2");
}

TEST_F(DriveWalkTest, LabelShowsEveryFileBeforeItsTestThenTheCount) {
  p.tree.AddFile("c:\\A\\x.tmp");
  p.tree.AddFile("c:\\A\\y.txt");
  Command1_Click(p.context);
  EXPECT_THAT(p.Label1.log, ElementsAre("c:\\A\\x.tmp", "|refresh", "c:\\A\\y.txt", "|refresh",
                                        "共找到 1个垃圾文件"));
  EXPECT_EQ(p.Label1.Caption(), "共找到 1个垃圾文件");
  EXPECT_THAT(p.List1.Texts(), ElementsAre("c:\\A\\x.tmp"));
}

TEST_F(DriveWalkTest, RepeatedEntriesAllCount) {
  p.tree.AddFile("c:\\A\\a.$$$");
  Command1_Click(p.context);
  EXPECT_EQ(p.Label1.Caption(), "共找到 2个垃圾文件");
}

TEST_F(DriveWalkTest, RepeatScanVisitsEachDirectoryOnceAndAddsBehindEarlierResults) {
  p.tree.AddFile("c:\\r.tmp");
  p.tree.AddFile("c:\\A\\a.tmp");
  p.tree.AddFile("c:\\A\\A1\\a1.tmp");
  p.tree.AddFile("c:\\A\\A1\\A2\\a2.tmp");
  Command1_Click(p.context);
  ASSERT_EQ(p.List1.ListCount(), 4);
  p.Dir1.visited.clear();
  for (int scan = 2; scan <= 4; ++scan) Command1_Click(p.context);
  // Three more scans: every directory once per scan, deep ones included.
  EXPECT_EQ(p.Dir1.visited.size(), 3u * 4u);
  EXPECT_EQ(std::count(p.Dir1.visited.begin(), p.Dir1.visited.end(), "c:\\A\\A1\\A2"), 3);
  EXPECT_EQ(p.List1.ListCount(), 16);
  EXPECT_EQ(p.Label1.Caption(), "共找到 16个垃圾文件");
  // The queue keeps every scan's directories, in the order queued.
  EXPECT_EQ(p.List3.ListCount(), 12);
  EXPECT_EQ(p.List3.List(3), "c:\\A");
}

TEST_F(DriveWalkTest, RepeatScanOfARootWithoutSubdirectoriesSkipsTheWalk) {
  p.tree.AddFile("c:\\A\\a.tmp");
  Command1_Click(p.context);
  p.tree.RemoveDirectory("c:\\A");
  p.tree.AddFile("c:\\b.tmp");
  p.Dir1.visited.clear();
  Command1_Click(p.context);
  EXPECT_THAT(p.Dir1.visited, ElementsAre("c:\\"));
  EXPECT_EQ(p.Label1.Caption(), "共找到 2个垃圾文件");
}

TEST_F(DriveWalkTest, UnreadableDirectoriesAreSkippedAndTheWalkGoesOn) {
  p.tree.AddFile("c:\\A\\a.tmp");
  p.tree.AddFile("c:\\A\\deep\\d.tmp");
  p.tree.AddFile("c:\\B\\b.tmp");
  p.tree.FailListing("c:\\A", kPermissionDenied);
  Command1_Click(p.context);
  EXPECT_THAT(p.List1.Texts(), ElementsAre("c:\\B\\b.tmp"));
  EXPECT_EQ(p.Label1.Caption(), "共找到 1个垃圾文件");
  EXPECT_TRUE(p.MessageBox.boxes.empty());
}

TEST_F(DriveWalkTest, DirectoryThatVanishedAfterQueueingIsSkipped) {
  p.tree.AddFile("c:\\A\\a.tmp");
  p.tree.AddFile("c:\\B\\b.tmp");
  Command1_Click(p.context);
  p.tree.RemoveDirectory("c:\\A");
  Command1_Click(p.context);
  EXPECT_THAT(p.List1.Texts(), ElementsAre("c:\\A\\a.tmp", "c:\\B\\b.tmp", "c:\\B\\b.tmp"));
}

TEST_F(DriveWalkTest, UnreadableDriveStillEndsWithTheCount) {
  p.tree.FailListing("c:\\", kDiskNotReady);
  Command1_Click(p.context);
  EXPECT_THAT(p.Label1.captions, ElementsAre("共找到 0个垃圾文件"));
}

// A system out of descriptors fails every directory after the first that
// failed: the walk stops there with one box, instead of skipping the rest and
// reporting a clean drive. Other failures stay silent (above).
TEST_F(DriveWalkTest, RunningOutOfDescriptorsEndsTheWalkAfterOneBox) {
  struct Case {
    const char* name;
    std::vector<std::string> listingFails;  // with kTooManyFiles
    const char* lengthFails;                // with kTooManyFiles, or nullptr
    std::vector<std::string> found;
  };
  const std::vector<Case> cases = {
      {"root", {"c:\\"}, nullptr, {}},
      {"second directory, and every one after it",
       {"c:\\B", "c:\\C", "c:\\A\\deep"},
       nullptr,
       {"c:\\r.tmp", "c:\\A\\a.tmp"}},
      {"a file's length", {}, "c:\\B\\b.tmp", {"c:\\r.tmp", "c:\\A\\a.tmp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPlatform q;
    Form_Load(q.context);
    for (const char* path : {"c:\\r.tmp", "c:\\A\\a.tmp", "c:\\B\\b.tmp", "c:\\B\\c.tmp",
                             "c:\\C\\d.tmp", "c:\\A\\deep\\e.tmp"}) {
      q.tree.AddFile(path);
    }
    for (const std::string& path : c.listingFails) q.tree.FailListing(path, kTooManyFiles);
    if (c.lengthFails != nullptr) q.tree.FailLength(c.lengthFails, kTooManyFiles);
    Command1_Click(q.context);
    EXPECT_EQ(q.List1.Texts(), c.found);
    ASSERT_EQ(q.MessageBox.boxes.size(), 1u);
    EXPECT_EQ(q.MessageBox.boxes[0].text, "发生错误67");
    EXPECT_EQ(q.MessageBox.boxes[0].buttons, MsgBoxButtons::kOkOnly);
    EXPECT_EQ(q.Label1.Caption(), "共找到 " + std::to_string(c.found.size()) + "个垃圾文件");
  }
}

TEST_F(DriveWalkTest, FileThatCannotBeMeasuredIsSkipped) {
  p.tree.AddFile("c:\\A\\a.$$$", 5);
  p.tree.AddFile("c:\\A\\b.tmp");
  p.tree.FailLength("c:\\A\\a.$$$", kDeviceIo);
  Command1_Click(p.context);
  EXPECT_THAT(p.List1.Texts(), ElementsAre("c:\\A\\b.tmp"));
}

TEST_F(DriveWalkTest, OnlyTheDriveLetterAndColonOfTheChoiceCount) {
  p.Drive1.SetDrive("c: [/mnt/some thing]");
  p.tree.AddFile("c:\\x.tmp");
  Command1_Click(p.context);
  EXPECT_THAT(p.Dir1.visited, ElementsAre("c:\\"));
  EXPECT_EQ(p.List1.ListCount(), 1);
}

}  // namespace
}  // namespace tidwen::test
