// Scanning and cleaning real trees through the whole logic over the Linux
// platform, where only Linux can make the tree: links, special files, names
// that are no UTF-8, a directory that vanishes mid-walk.
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

TEST(ScanRealTree, LinksAndSpecialFilesAreNotFollowedAndOddNamesKeepTheirBytes) {
  TempTree tree;
  tree.MakeFile("x.tmp", "1");
  tree.MakeFifo("a/fifo.tmp");
  tree.MakeFile("outside/o.tmp", "1");
  tree.MakeSymlink("b/link", "../outside");
  tree.MakeSymlink("a/filelink.tmp", "../x.tmp");
  tree.MakeFile("c/back\\slash.tmp", "1");
  tree.MakeFile("c/\xFF\xFE.tmp", "1");
  RealForm form(tree);

  Command1_Click(form.context);

  EXPECT_THAT(form.Results(), ElementsAre("c:\\x.tmp", "c:\\c\\\xFF\xFE.tmp", "c:\\outside\\o.tmp"));
  EXPECT_EQ(form.Label1.Caption(), "共找到 3个垃圾文件");
  EXPECT_THAT(form.List3.Items().Count(), 4);  // a b c outside
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
