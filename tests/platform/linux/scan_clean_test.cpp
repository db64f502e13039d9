// Scanning and cleaning real trees through the whole logic: the walk, the
// file test and the deletion over the Linux platform.
#include <sys/stat.h>

#include <cstdio>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "clean/cleaner.h"
#include "linux_test_support.h"
#include "real_form.h"
#include "scan/drive_walk.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ScanRealTree, ListsVisibleJunkBreadthFirstAndLeavesTheRestAlone) {
  TempTree tree;
  tree.MakeFiles({"x.tmp", ".hidden.tmp", "b/deep/d.bak", "a/a.$$$"}, "1");
  tree.MakeFile("a/empty.txt");
  tree.MakeFile("a/keep.txt", "1");
  tree.MakeFile(".dotdir/in.old", "1");  // hidden directories are walked
  tree.MakeFifo("a/fifo.tmp");
  tree.MakeFile("outside/o.tmp", "1");
  tree.MakeSymlink("b/link", "../outside");
  tree.MakeSymlink("a/filelink.tmp", "../x.tmp");
  tree.MakeFile("c/back\\slash.tmp", "1");
  tree.MakeFile("c/\xFF\xFE.tmp", "1");
  RealForm form(tree);

  Command1_Click(form.context);

  EXPECT_THAT(form.Results(),
              ElementsAre("c:\\x.tmp", "c:\\.dotdir\\in.old", "c:\\a\\a.$$$", "c:\\a\\a.$$$",
                          "c:\\a\\empty.txt", "c:\\c\\\xFF\xFE.tmp", "c:\\outside\\o.tmp",
                          "c:\\b\\deep\\d.bak"));
  EXPECT_EQ(form.Label1.Caption(), "共找到 8个垃圾文件");
  EXPECT_THAT(form.List3.Items().Count(), 6);  // .dotdir a b c outside b\deep
}

// Removes a directory of the tree when the walk opens another one, as if it
// vanished between being queued and being visited.
class VanishingSysCalls : public ScriptedSysCalls {
 public:
  VanishingSysCalls(TempTree& tree, std::string trigger, std::string victim)
      : tree_(tree), trigger_(std::move(trigger)), victim_(std::move(victim)) {}
  int OpenAt2(int dirFd, const char* path, const open_how& how) override {
    if (std::string_view(path) == trigger_ && tree_.Exists(victim_)) tree_.Remove(victim_);
    return ScriptedSysCalls::OpenAt2(dirFd, path, how);
  }

 private:
  TempTree& tree_;
  std::string trigger_;
  std::string victim_;
};

TEST(ScanRealTree, DirectoryThatVanishesMidWalkIsSkipped) {
  TempTree tree;
  tree.MakeFiles({"a/a.tmp", "b/b.tmp", "b/sub/s.tmp", "c/c.tmp"}, "1");
  VanishingSysCalls sys(tree, "a", "b");
  RealForm form(tree, sys);

  Command1_Click(form.context);

  EXPECT_THAT(form.Results(), ElementsAre("c:\\a\\a.tmp", "c:\\c\\c.tmp"));
  EXPECT_EQ(form.Label1.Caption(), "共找到 2个垃圾文件");
  EXPECT_THAT(form.MessageBox.boxes, IsEmpty());
}

class CleanRealTree : public ::testing::Test {
 protected:
  void ScanAndSelectAll() {
    Command1_Click(form.context);
    form.SelectAllResults();
  }
  void DeleteAnswering(int answer) {
    form.MessageBox.answers = {answer};
    Command2_Click(form.context);
  }

  TempTree tree;
  RealForm form{tree};
};

TEST_F(CleanRealTree, DeletesEverySelectedFileAndEmptiesTheList) {
  tree.MakeFile("a.tmp", "1");
  tree.MakeFile("d/b.bak", "1");
  tree.MakeFile("d/c.old", "1");  // adjacent to b.bak in the list
  tree.MakeFile("d/keep.txt", "1");
  ScanAndSelectAll();
  DeleteAnswering(kMsgBoxYes);
  EXPECT_FALSE(tree.Exists("a.tmp"));
  EXPECT_FALSE(tree.Exists("d/b.bak"));
  EXPECT_FALSE(tree.Exists("d/c.old"));
  EXPECT_TRUE(tree.Exists("d/keep.txt"));
  EXPECT_THAT(form.Results(), IsEmpty());
  EXPECT_THAT(form.BoxTexts(), ElementsAre("确实要删除这3项吗？"));
  EXPECT_EQ(form.Label1.Caption(), "还剩下 0个垃圾文件");
}

TEST_F(CleanRealTree, AnsweringNoTouchesNothing) {
  tree.MakeFile("a.tmp", "1");
  tree.MakeFile("b.tmp", "1");
  ScanAndSelectAll();
  DeleteAnswering(kMsgBoxNo);
  EXPECT_TRUE(tree.Exists("a.tmp"));
  EXPECT_TRUE(tree.Exists("b.tmp"));
  EXPECT_EQ(form.List1.ListCount(), 2);
  EXPECT_TRUE(form.List1.Selected(0));
  EXPECT_EQ(form.Label1.Caption(), "还剩下 2个垃圾文件");
}

TEST_F(CleanRealTree, ReadOnlyFileStaysSelectedAndTheOthersGo) {
  tree.MakeFile("a.tmp", "1");
  tree.MakeFile("ro.tmp", "1", 0444);
  tree.MakeFile("z.tmp", "1");
  ScanAndSelectAll();
  DeleteAnswering(kMsgBoxYes);
  EXPECT_THAT(form.Results(), ElementsAre("c:\\ro.tmp"));
  EXPECT_TRUE(form.List1.Selected(0));
  EXPECT_EQ(tree.Mode("ro.tmp"), 0444u);
  EXPECT_THAT(form.BoxTexts(), ElementsAre("确实要删除这3项吗？", "不能删除文件c:\\ro.tmp"));
  EXPECT_FALSE(tree.Exists("a.tmp"));
  EXPECT_FALSE(tree.Exists("z.tmp"));
}

TEST_F(CleanRealTree, OnePathListedTwiceIsDeletedOnceAndBothEntriesLeave) {
  tree.MakeFile("a.$$$", "1");
  ScanAndSelectAll();
  ASSERT_EQ(form.List1.ListCount(), 2);
  DeleteAnswering(kMsgBoxYes);
  EXPECT_FALSE(tree.Exists("a.$$$"));
  EXPECT_THAT(form.Results(), IsEmpty());
  EXPECT_THAT(form.BoxTexts(), ElementsAre("确实要删除这2项吗？"));
  EXPECT_EQ(form.Label1.Caption(), "还剩下 0个垃圾文件");
}

TEST_F(CleanRealTree, DirectorySwappedForALinkAfterTheScanDeletesNothingOutside) {
  TempTree outside;
  outside.MakeFile("x.tmp", "precious");
  tree.MakeFile("d/x.tmp", "1");
  ScanAndSelectAll();
  tree.Remove("d");
  tree.MakeSymlink("d", outside.Path(""));
  DeleteAnswering(kMsgBoxYes);
  EXPECT_EQ(outside.ReadFile("x.tmp"), "precious");
  EXPECT_THAT(form.Results(), ElementsAre("c:\\d\\x.tmp"));
  EXPECT_THAT(form.BoxTexts(), ElementsAre("确实要删除这1项吗？", "发生错误53"));
}

TEST_F(CleanRealTree, FileChangedSinceTheScanIsRefused) {
  tree.MakeFile("swapped.tmp", "old");
  tree.MakeFile("was-empty.txt");
  ScanAndSelectAll();
  // Replaced the way editors save: a new file renamed over the old one.
  tree.MakeFile("swapped.new", "new");
  ASSERT_EQ(std::rename(tree.Path("swapped.new").c_str(), tree.Path("swapped.tmp").c_str()), 0);
  tree.MakeFile("was-empty.txt", "now data");
  DeleteAnswering(kMsgBoxYes);
  EXPECT_EQ(tree.ReadFile("swapped.tmp"), "new");
  EXPECT_EQ(tree.ReadFile("was-empty.txt"), "now data");
  EXPECT_THAT(form.Results(), ElementsAre("c:\\swapped.tmp", "c:\\was-empty.txt"));
  EXPECT_THAT(form.BoxTexts(), ElementsAre("确实要删除这2项吗？", "不能删除文件c:\\was-empty.txt",
                                           "不能删除文件c:\\swapped.tmp"));
}

TEST_F(CleanRealTree, NonUtf8NameIsDeletedExactly) {
  const std::string name = "\xC3\x28.tmp";  // invalid UTF-8
  tree.MakeFile(name, "1");
  tree.MakeFile("\xC3\xA9.tmp", "1");  // "é.tmp", a valid neighbour
  tree.MakeFile("\xC3\x28.txt", "1");
  Command1_Click(form.context);
  ASSERT_THAT(form.Results(), ElementsAre("c:\\\xC3\x28.tmp", "c:\\\xC3\xA9.tmp"));
  form.List1.SetSelected(0, true);
  DeleteAnswering(kMsgBoxYes);
  EXPECT_FALSE(tree.Exists(name));
  EXPECT_TRUE(tree.Exists("\xC3\xA9.tmp"));
  EXPECT_TRUE(tree.Exists("\xC3\x28.txt"));
  EXPECT_THAT(form.Results(), ElementsAre("c:\\\xC3\xA9.tmp"));
}

}  // namespace
}  // namespace tidwen::test
