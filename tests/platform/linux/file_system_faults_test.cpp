// Failing system calls and trees that change while the scan and the deletion
// run: the walk goes on past whatever fails, and the deletion removes only
// what the user saw, reporting every refusal in one numbered box.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fault_support.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class HardeningFaults : public HardeningTest {};
INSTANTIATE_TEST_SUITE_P(, HardeningFaults, ::testing::Bool(), WalkName);

TEST_P(HardeningFaults, DirectoryReadFailingPartWayIsSkippedAndTheWalkGoesOn) {
  tree.MakeFile("r.tmp", "1");
  for (int i = 0; i < 200; ++i) tree.MakeFile("a/" + std::to_string(1000 + i) + ".tmp", "1");
  tree.MakeFiles({"a/sub/s.tmp", "b/b.tmp", "b/sub/t.tmp"}, "1");
  // A directory of 200 entries now takes many reads; the third one fails.
  sys.LimitReadSize(1024);
  sys.FailReadsOf(tree.Path("a"), EIO, 2);

  Command1_Click(form.context);

  // Nothing of a half-read directory is used, so no file below it is tested
  // on the strength of a listing that may lack entries.
  EXPECT_THAT(form.Results(), ElementsAre("c:\\r.tmp", "c:\\b\\b.tmp", "c:\\b\\sub\\t.tmp"));
  EXPECT_THAT(form.List3.Items().Count(), 3);  // a, b, b\sub
  EXPECT_EQ(form.Label1.Caption(), "共找到 3个垃圾文件");
  EXPECT_THAT(form.MessageBox.boxes, IsEmpty());
  // The failed read's descriptor went with it: what stays open is the drive
  // and the listers' last directory.
  EXPECT_LE(sys.OpenFds().size(), 3u);
}

TEST_P(HardeningFaults, DirectoryThatCannotBeOpenedIsSkippedAndARaceIsRetried) {
  tree.MakeFiles({"busy/x.tmp", "raced/y.tmp", "refused/z.tmp", "zz/w.tmp"}, "1");
  if (GetParam()) {
    sys.Fail(Op::kOpenAt, EACCES, "refused");
    sys.Fail(Op::kOpenAt, EAGAIN, "busy");
  } else {
    // openat2 says EAGAIN when a rename or mount raced its lookup: a few
    // such answers are retried, an endless run of them gives up.
    sys.FailFirst(Op::kOpenAt2, EAGAIN, "raced", 3);
    sys.Fail(Op::kOpenAt2, EAGAIN, "busy");
    sys.Fail(Op::kOpenAt2, EACCES, "refused");
  }
  {
    Watchdog watchdog(20, "walk over directories that cannot be opened");
    Command1_Click(form.context);
  }
  EXPECT_THAT(form.Results(), ElementsAre("c:\\raced\\y.tmp", "c:\\zz\\w.tmp"));
  EXPECT_EQ(form.Label1.Caption(), "共找到 2个垃圾文件");
  EXPECT_THAT(form.MessageBox.boxes, IsEmpty());
}

TEST_P(HardeningFaults, RootThatCannotBeReadGivesAnEmptyScanAndTheNextScanWorks) {
  tree.MakeFile("r.tmp", "1");
  tree.MakeFile("a/a.tmp", "1");
  sys.FailReadsOf(tree.Root(), EIO, 0);
  Command1_Click(form.context);
  EXPECT_THAT(form.Results(), IsEmpty());
  EXPECT_EQ(form.List3.ListCount(), 0);
  EXPECT_EQ(form.Label1.Caption(), "共找到 0个垃圾文件");

  sys.ClearReadFaults();
  Command1_Click(form.context);
  EXPECT_THAT(form.Results(), ElementsAre("c:\\r.tmp", "c:\\a\\a.tmp"));
}

TEST_P(HardeningFaults, FileThatCannotBeMeasuredIsTheOnlyOneSkipped) {
  for (const int err : {EACCES, EIO}) {
    for (const bool hiddenTypes : {false, true}) {
      SCOPED_TRACE(std::string(std::strerror(err)) + (hiddenTypes ? ", no entry types" : ""));
      TempTree t;
      t.MakeFiles({"bad.tmp", "good.tmp", "d/a.tmp", "d/bad.tmp", "d/z.tmp"}, "1");
      TriggerSysCalls s;
      if (GetParam()) s.Fail(Op::kOpenAt2, ENOSYS);
      s.HideEntryTypes(hiddenTypes);
      // Without entry types the directory reader looks at each entry first;
      // either look may be the one that fails.
      s.Fail(hiddenTypes ? Op::kStatX : Op::kFStatAt, err, "bad.tmp");
      RealForm f(t, s);
      Command1_Click(f.context);
      EXPECT_THAT(f.Results(), ElementsAre("c:\\good.tmp", "c:\\d\\a.tmp", "c:\\d\\z.tmp"));
      EXPECT_EQ(f.Label1.Caption(), "共找到 3个垃圾文件");
    }
  }
}

TEST_P(HardeningFaults, DeletionRefusedByTheSystemShowsOneNumberedBoxAndKeepsTheEntry) {
  // Refused when the file is moved aside, or when it is unlinked under the
  // name it was moved to: either way it stays under its own name.
  const struct {
    Op op;
    int err;
    const char* box;
  } cases[] = {{Op::kRenameAt2, EBUSY, "发生错误72"},
               {Op::kRenameAt2, EIO, "发生错误57"},
               {Op::kUnlinkAt, EBUSY, "发生错误72"},
               {Op::kUnlinkAt, EROFS, "不能删除文件c:\\d\\busy.tmp"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op == Op::kUnlinkAt ? "unlink: " : "move: ") + std::strerror(c.err));
    TempTree t;
    t.MakeFiles({"a.tmp", "d/busy.tmp", "d/z.tmp"}, "1");
    TriggerSysCalls s;
    if (GetParam()) s.Fail(Op::kOpenAt2, ENOSYS);
    RealForm f(t, s);
    ScanAndSelectAll(f);
    const std::size_t openAfterScan = s.OpenFds().size();
    if (c.op == Op::kRenameAt2) {
      s.FailFirst(Op::kRenameAt2, c.err, "busy.tmp", 1);
    } else {
      s.When(Op::kRenameAt2, "busy.tmp", [&s, &c] { s.FailNext(c.op, c.err); });
    }
    DeleteConfirmed(f);
    EXPECT_THAT(FailureBoxes(f), ElementsAre(c.box));
    EXPECT_THAT(f.Results(), ElementsAre("c:\\d\\busy.tmp"));
    EXPECT_TRUE(f.List1.Selected(0));
    EXPECT_THAT(t.Names("d"), ElementsAre("busy.tmp"));
    EXPECT_FALSE(t.Exists("a.tmp"));
    EXPECT_EQ(f.Label1.Caption(), "还剩下 1个垃圾文件");
    // The batch closed what it kept open, failures or not.
    EXPECT_EQ(s.OpenFds().size(), openAfterScan);
  }
}

TEST_P(HardeningFaults, LookUpFailingBeforeTheDeletionShowsItsNumber) {
  tree.MakeFile("d/x.tmp", "1");
  tree.MakeFile("a-emfile-dir/y.tmp", "1");
  ScanAndSelectAll(form);
  const std::size_t openAfterScan = sys.OpenFds().size();
  // Opening the file to look at it fails for x.tmp, deleted first, and
  // opening the other directory runs out of descriptors, which ends the batch.
  sys.Fail(Op::kOpenAt, EIO, "x.tmp");
  sys.Fail(GetParam() ? Op::kOpenAt : Op::kOpenAt2, EMFILE, "a-emfile-dir");
  DeleteConfirmed(form);
  EXPECT_THAT(FailureBoxes(form), ElementsAre("发生错误57", "发生错误67"));
  EXPECT_THAT(form.Results(), ElementsAre("c:\\a-emfile-dir\\y.tmp", "c:\\d\\x.tmp"));
  EXPECT_TRUE(tree.Exists("d/x.tmp"));
  EXPECT_TRUE(tree.Exists("a-emfile-dir/y.tmp"));
  // Nothing of the failed look-ups stays open.
  EXPECT_EQ(sys.OpenFds().size(), openAfterScan);
}

// What a queued directory can turn into before the walk reaches it.
enum class Replacement { kFile, kFifo, kLinkOutside, kLinkLoop };

class HardeningReplacedDirectory : public ::testing::TestWithParam<Replacement> {};

INSTANTIATE_TEST_SUITE_P(, HardeningReplacedDirectory,
                         ::testing::Values(Replacement::kFile, Replacement::kFifo,
                                           Replacement::kLinkOutside, Replacement::kLinkLoop),
                         [](const auto& info) {
                           switch (info.param) {
                             case Replacement::kFile:
                               return "File";
                             case Replacement::kFifo:
                               return "Fifo";
                             case Replacement::kLinkOutside:
                               return "LinkOutside";
                             case Replacement::kLinkLoop:
                               return "LinkLoop";
                           }
                           return "";
                         });

TEST_P(HardeningReplacedDirectory, QueuedDirectoryReplacedMidWalkIsSkipped) {
  TempTree outside;
  outside.MakeFile("o.tmp", "1");
  outside.MakeFile("deep/p.tmp", "1");
  for (const bool perComponent : {false, true}) {
    SCOPED_TRACE(perComponent ? "per component" : "openat2");
    TempTree tree;
    tree.MakeFiles({"a/a.tmp", "a/deeper/d.tmp", "b/b.tmp", "b/sub/s.tmp", "c/c.tmp"}, "1");
    TriggerSysCalls sys;
    if (perComponent) sys.Fail(Op::kOpenAt2, ENOSYS);
    // b is queued with the root's subdirectories; while a's files are tested
    // it becomes something else.
    sys.When(Op::kFStatAt, "a.tmp", [&] {
      tree.Remove("b");
      switch (GetParam()) {
        case Replacement::kFile:
          tree.MakeFile("b", "not a directory");
          break;
        case Replacement::kFifo:
          tree.MakeFifo("b");
          break;
        case Replacement::kLinkOutside:
          tree.MakeSymlink("b", outside.Root());
          break;
        case Replacement::kLinkLoop:
          tree.MakeSymlink("b", "b");
          break;
      }
    });
    RealForm form(tree, sys);
    {
      Watchdog watchdog(20, "scan of a tree whose directory was replaced mid-walk");
      Command1_Click(form.context);
    }
    EXPECT_THAT(form.Results(),
                ElementsAre("c:\\a\\a.tmp", "c:\\c\\c.tmp", "c:\\a\\deeper\\d.tmp"));
    EXPECT_EQ(form.Label1.Caption(), "共找到 3个垃圾文件");
    EXPECT_THAT(form.MessageBox.boxes, IsEmpty());
  }
}

TEST_P(HardeningFaults, DirectoryReplacedWhileItsFilesAreTestedDeletesNothingMovedAway) {
  tree.MakeFiles({"b/b1.tmp", "b/b2.tmp", "b/sub/s.tmp"}, "1");
  // Once the walk has read b, b is moved away and a file takes its name: the
  // files already listed are still measured where they were read.
  sys.When(Op::kFStatAt, "b1.tmp", [&] {
    ASSERT_EQ(std::rename(tree.Path("b").c_str(), tree.Path("moved").c_str()), 0);
    tree.MakeFile("b", "now a file");
  });
  ScanAndSelectAll(form);
  EXPECT_THAT(form.Results(), ElementsAre("c:\\b\\b1.tmp", "c:\\b\\b2.tmp"));

  DeleteConfirmed(form);
  // c:\b\b1.tmp names no file now; the files that were there stay.
  EXPECT_THAT(FailureBoxes(form), ElementsAre("发生错误53", "发生错误53"));
  EXPECT_THAT(form.Results(), ElementsAre("c:\\b\\b1.tmp", "c:\\b\\b2.tmp"));
  EXPECT_TRUE(tree.Exists("moved/b1.tmp"));
  EXPECT_TRUE(tree.Exists("moved/b2.tmp"));
  EXPECT_TRUE(tree.Exists("moved/sub/s.tmp"));
  EXPECT_EQ(tree.ReadFile("b"), "now a file");
}

TEST_P(HardeningFaults, FileReplacedBeforeTheDeletionIsNotFoundAndNothingIsDeleted) {
  TempTree outside;
  outside.MakeFile("precious.tmp", "precious");
  tree.MakeFiles({"dir.tmp", "d/link.tmp", "d/fifo.tmp"}, "1");
  ScanAndSelectAll(form);
  ASSERT_EQ(form.List1.ListCount(), 3);

  tree.Remove("dir.tmp");
  tree.MakeFile("dir.tmp/inside.tmp", "1");
  tree.Remove("d/link.tmp");
  tree.MakeSymlink("d/link.tmp", outside.Path("precious.tmp"));
  tree.Remove("d/fifo.tmp");
  tree.MakeFifo("d/fifo.tmp");
  {
    Watchdog watchdog(20, "deletion of a file replaced by a FIFO");
    DeleteConfirmed(form);
  }
  EXPECT_THAT(FailureBoxes(form), ElementsAre("发生错误53", "发生错误53", "发生错误53"));
  EXPECT_EQ(form.List1.ListCount(), 3);
  EXPECT_TRUE(tree.Exists("dir.tmp/inside.tmp"));
  EXPECT_TRUE(tree.Exists("d/link.tmp"));
  EXPECT_TRUE(tree.Exists("d/fifo.tmp"));
  EXPECT_EQ(outside.ReadFile("precious.tmp"), "precious");
  EXPECT_EQ(form.Label1.Caption(), "还剩下 3个垃圾文件");
}

}  // namespace
}  // namespace tidwen::test
