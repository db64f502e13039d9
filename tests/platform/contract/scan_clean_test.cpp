// The scan and the clean-up end to end over every backend: the drive walk,
// the file test and the deletion of the selected results on a real tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "clean/cleaner.h"
#include "contract_support.h"
#include "frontend/common/file_system_rows.h"
#include "memory_platform.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"

namespace tidwen::contract {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class ContractScanClean : public PlatformTest {
 protected:
  ContractScanClean() { Form_Load(form_); }

  void DeleteAnswering(int answer) {
    box_.answers = {answer};
    box_.boxes.clear();
    Command2_Click(form_);
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : box_.boxes) texts.push_back(box.text);
    return texts;
  }

  test::RecordingList list1_, list2_, list3_;
  PlainLabel label1_;
  PlainDriveList drive1_{frontend::DriveText(platform_->Drives().at(0))};
  test::ScriptedMessageBox box_;
  Form1Context form_ = MakeForm1Context({list1_, list2_, list3_, label1_, drive1_},
                                        {platform_->Dir1(), platform_->File1(),
                                         platform_->FileLength(), platform_->FileSystem()},
                                        box_);
};
CONTRACT_SUITE(ContractScanClean);

TEST_P(ContractScanClean, TheScanListsExactlyTheJunkBreadthFirst) {
  tree_.File("x.tmp");
  tree_.File("keep.txt");
  tree_.File("shy.tmp");
  tree_.File("a/a.$$$");  // two junk types match
  tree_.File("a/keep.txt");
  tree_.File("b/empty.txt", "");
  tree_.File("b/deep/d.bak");
  tree_.File("den/in.old");  // hidden directories are walked
  std::string why;
  const std::string den = Hide(tree_, "den", why);
  if (den.empty() || Hide(tree_, "shy.tmp", why).empty()) GTEST_SKIP() << why;

  Command1_Click(form_);

  const std::map<std::string, std::vector<std::string>> hitsIn = {
      {"a", {"c:\\a\\a.$$$", "c:\\a\\a.$$$"}},
      {"b", {"c:\\b\\empty.txt"}},
      {den, {DrivePath(den + "/in.old")}}};
  std::vector<std::string> want = {"c:\\x.tmp"};
  for (const std::string& dir : InListingOrder(tree_, "", {"a", "b", den})) {
    want.insert(want.end(), hitsIn.at(dir).begin(), hitsIn.at(dir).end());
  }
  want.push_back("c:\\b\\deep\\d.bak");
  EXPECT_EQ(list1_.Texts(), want);
  std::vector<std::string> queue = InListingOrder(tree_, "", {"a", "b", den}, "c:\\");
  queue.push_back("c:\\b\\deep");
  EXPECT_EQ(list3_.Texts(), queue);
  EXPECT_EQ(label1_.Caption(), "共找到 6个垃圾文件");
}

TEST_P(ContractScanClean, NoTouchesNothingAndYesDeletesAllButTheRefused) {
  tree_.File("a.tmp");
  tree_.File("d/b.bak");
  tree_.File("d/c.old");
  tree_.File("d/keep.txt");
  tree_.File("ro.tmp");
  tree_.SetReadOnly("ro.tmp");
  tree_.File("twice.$$$");
  tree_.File("swapped.tmp", "old");
  Command1_Click(form_);
  for (std::int64_t i = 0; i < list1_.ListCount(); ++i) list1_.SetSelected(i, true);
  ASSERT_EQ(list1_.ListCount(), 7);

  DeleteAnswering(kMsgBoxNo);
  EXPECT_THAT(BoxTexts(), ElementsAre("确实要删除这7项吗？"));
  EXPECT_EQ(list1_.ListCount(), 7);
  for (std::int64_t i = 0; i < 7; ++i) EXPECT_TRUE(list1_.Selected(i));
  EXPECT_TRUE(tree_.Exists("a.tmp") && tree_.Exists("twice.$$$"));
  EXPECT_EQ(label1_.Caption(), "还剩下 7个垃圾文件");

  // Replaced since the scan, the way editors save.
  tree_.File("new.tmp", "new");
  fs::rename(tree_.Path("new.tmp"), tree_.Path("swapped.tmp"));
  DeleteAnswering(kMsgBoxYes);
  for (const char* gone : {"a.tmp", "d/b.bak", "d/c.old", "twice.$$$"}) {
    EXPECT_FALSE(tree_.Exists(gone)) << gone;
  }
  EXPECT_TRUE(tree_.Exists("d/keep.txt"));
  EXPECT_TRUE(tree_.ReadOnly("ro.tmp"));
  EXPECT_EQ(tree_.Read("swapped.tmp"), "new");
  // The path listed twice is deleted once, and both its entries leave.
  EXPECT_THAT(list1_.Texts(), UnorderedElementsAre("c:\\ro.tmp", "c:\\swapped.tmp"));
  for (std::int64_t i = 0; i < list1_.ListCount(); ++i) EXPECT_TRUE(list1_.Selected(i));
  const std::vector<std::string> boxes = BoxTexts();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0], "确实要删除这7项吗？");
  EXPECT_THAT(std::vector<std::string>(boxes.begin() + 1, boxes.end()),
              UnorderedElementsAre("不能删除文件c:\\ro.tmp", "不能删除文件c:\\swapped.tmp"));
  EXPECT_EQ(label1_.Caption(), "还剩下 2个垃圾文件");
}

}  // namespace
}  // namespace tidwen::contract
