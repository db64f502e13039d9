// The main window's logic over the Windows platform: the file test on each
// file the listers give, and the deletion of the selected results, on a real
// temporary tree. A drive letter cannot be made for the tree under Wine, so
// the test walks the tree the way the drive walk does below a drive's root.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clean/cleaner.h"
#include "memory_platform.h"
#include "model/plain_controls.h"
#include "platform/windows/windows_platform.h"
#include "rules/junk_rules.h"
#include "win_test_support.h"

namespace tidwen {
namespace {

using test::WinTempTree;

class WinScanCleanTest : public ::testing::Test {
 protected:
  WinScanCleanTest()
      : form_(MakeForm1Context({list1_, list2_, list3_, label1_, drive1_}, platform_.Services(),
                               box_)) {
    Form_Load(form_);
  }

  // Visits start and every directory below it breadth-first, testing each
  // listed file, as the drive walk does.
  void Walk(const std::string& start) {
    std::vector<std::string> queue{start};
    for (std::size_t at = 0; at < queue.size(); ++at) {
      form_.Dir1.SetPath(queue[at]);
      form_.File1.SetPath(form_.Dir1.Path());
      for (std::int64_t i = 0; i < form_.Dir1.ListCount(); ++i) queue.push_back(form_.Dir1.List(i));
      const std::string dir = form_.Dir1.Path() + "\\";
      for (std::int64_t i = 0; i < form_.File1.ListCount(); ++i) {
        form_.CurrentPath.assign(dir).append(form_.File1.List(i));
        Printt(form_);
      }
    }
  }

  std::vector<std::string> Results() const {
    std::vector<std::string> out;
    for (std::int64_t i = 0; i < list1_.ListCount(); ++i) out.emplace_back(list1_.List(i));
    std::sort(out.begin(), out.end());
    return out;
  }

  WindowsPlatform platform_{WinDriveList(std::vector<WinDrive>{})};
  PlainListControl list1_, list2_, list3_;
  PlainLabel label1_;
  PlainDriveList drive1_{"c:"};
  test::ScriptedMessageBox box_;
  Form1Context form_;
  WinTempTree tree_;
};

TEST_F(WinScanCleanTest, JunkIsFoundAndDeletedButReadOnlyHiddenAndOtherFilesStay) {
  tree_.Dir("sub");
  tree_.Dir("sub\\deeper");
  tree_.File("a.tmp", "1");
  tree_.File("keep.txt", "1");
  tree_.File("sub\\b.BAK", "1");
  tree_.File("sub\\deeper\\empty.txt", "");
  tree_.File("sub\\ro.old", "1");
  ASSERT_TRUE(tree_.SetAttributes("sub\\ro.old", FILE_ATTRIBUTE_READONLY));
  tree_.File("sub\\hidden.tmp", "1");
  const bool hiddenKept = tree_.SetAttributes("sub\\hidden.tmp", FILE_ATTRIBUTE_HIDDEN);

  Walk(tree_.Root());
  const std::vector<std::string> found = Results();
  std::vector<std::string> want = {tree_.Path("a.tmp"), tree_.Path("sub\\b.BAK"),
                                   tree_.Path("sub\\deeper\\empty.txt"), tree_.Path("sub\\ro.old")};
  if (!hiddenKept) want.push_back(tree_.Path("sub\\hidden.tmp"));
  std::sort(want.begin(), want.end());
  EXPECT_EQ(found, want);

  for (std::int64_t i = 0; i < list1_.ListCount(); ++i) list1_.SetSelected(i, true);
  box_.answers.push_back(kMsgBoxYes);
  Command2_Click(form_);

  EXPECT_FALSE(tree_.Exists("a.tmp"));
  EXPECT_FALSE(tree_.Exists("sub\\b.BAK"));
  EXPECT_FALSE(tree_.Exists("sub\\deeper\\empty.txt"));
  EXPECT_TRUE(tree_.Exists("keep.txt"));
  EXPECT_TRUE(tree_.Exists("sub\\ro.old"));
  EXPECT_TRUE(tree_.Attributes("sub\\ro.old") & FILE_ATTRIBUTE_READONLY);
  if (hiddenKept) {
    EXPECT_TRUE(tree_.Exists("sub\\hidden.tmp"));
  }
  // The question, then one box for the read-only file naming its path.
  ASSERT_EQ(box_.boxes.size(), 2u);
  EXPECT_EQ(box_.boxes[1].text, "不能删除文件" + tree_.Path("sub\\ro.old"));
  EXPECT_EQ(Results(), std::vector<std::string>{tree_.Path("sub\\ro.old")});
}

TEST_F(WinScanCleanTest, AFileReplacedAfterTheScanIsNotDeleted) {
  tree_.File("x.tmp", "old");
  Walk(tree_.Root());
  ASSERT_EQ(list1_.ListCount(), 1);
  ASSERT_TRUE(DeleteFileW(tree_.Long("x.tmp").c_str()));
  tree_.File("x.tmp", "new!");
  list1_.SetSelected(0, true);
  box_.answers.push_back(kMsgBoxYes);
  Command2_Click(form_);
  EXPECT_TRUE(tree_.Exists("x.tmp"));
  ASSERT_EQ(box_.boxes.size(), 2u);
  EXPECT_EQ(box_.boxes[1].text, "不能删除文件" + tree_.Path("x.tmp"));
}

}  // namespace
}  // namespace tidwen
