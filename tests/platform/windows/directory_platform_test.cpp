// A directory shown as c: over the Windows platform: the paths map both
// ways, and the drive walk and the deletion work on it as on any drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/plain_controls.h"
#include "clean/cleaner.h"
#include "memory_platform.h"
#include "platform/windows/directory_platform.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"
#include "win_test_support.h"

namespace tidwen {
namespace {

TEST(DriveMappingTest, PathsMapBothWays) {
  const DriveMapping map("d:\\trees\\x");
  struct Row {
    std::string shown, real;
  };
  const std::vector<Row> rows = {
      {"c:\\", "d:\\trees\\x"},
      {"c:\\a", "d:\\trees\\x\\a"},
      {"c:\\a\\b.tmp", "d:\\trees\\x\\a\\b.tmp"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(map.ToReal(row.shown), row.real) << row.shown;
    EXPECT_EQ(map.ToShown(row.real), row.shown) << row.real;
  }
  EXPECT_EQ(map.ToReal("C:\\a"), "d:\\trees\\x\\a");
  EXPECT_EQ(map.ToShown("D:\\trees\\x\\a"), "c:\\a");
  // Paths outside go on as they are.
  EXPECT_EQ(map.ToReal("e:\\a"), "e:\\a");
  EXPECT_EQ(map.ToShown("d:\\trees\\xy"), "d:\\trees\\xy");
  EXPECT_EQ(map.ToShown("d:\\other"), "d:\\other");

  const DriveMapping root("e:\\");
  EXPECT_EQ(root.ToReal("c:\\"), "e:\\");
  EXPECT_EQ(root.ToReal("c:\\a"), "e:\\a");
  EXPECT_EQ(root.ToShown("e:\\"), "c:\\");
  EXPECT_EQ(root.ToShown("e:\\a"), "c:\\a");
}

TEST(DirectoryPlatformTest, TheTreeIsScannedAndCleanedAsDriveC) {
  test::WinTempTree tree;
  tree.Dir("sub");
  tree.File("a.tmp");
  tree.File("keep.txt");
  tree.File("sub\\b.bak");
  tree.File("sub\\zero", "");
  const std::unique_ptr<TunablePlatform> platform = MakeTunablePlatform(tree.Root());
  ASSERT_EQ(platform->Drives().size(), 1u);
  EXPECT_EQ(platform->SystemPathOf("c:\\sub"), DriveMapping(tree.Root()).ToReal("c:\\sub"));
  EXPECT_EQ(platform->SystemPathOf("d:\\sub"), std::nullopt);

  PlainListControl list1, list2, list3;
  PlainLabel label1;
  PlainDriveList drive1{platform->Drives()[0].text};
  test::ScriptedMessageBox box;
  Form1Context form = MakeForm1Context({list1, list2, list3, label1, drive1}, platform->Services(), box);
  Form_Load(form);
  Command1_Click(form);
  std::vector<std::string> hits;
  for (std::int64_t i = 0; i < list1.ListCount(); ++i) hits.emplace_back(list1.List(i));
  // In the file system's order, which Wine takes from the host's.
  std::sort(hits.begin(), hits.end());
  EXPECT_EQ(hits, (std::vector<std::string>{"c:\\a.tmp", "c:\\sub\\b.bak", "c:\\sub\\zero"}));
  EXPECT_EQ(label1.Caption(), "共找到 3个垃圾文件");

  for (std::int64_t i = 0; i < list1.ListCount(); ++i) list1.SetSelected(i, true);
  box.answers.push_back(kMsgBoxYes);
  Command2_Click(form);
  EXPECT_EQ(list1.ListCount(), 0);
  EXPECT_EQ(label1.Caption(), "还剩下 0个垃圾文件");
  EXPECT_TRUE(tree.Exists("keep.txt"));
  EXPECT_FALSE(tree.Exists("a.tmp"));
  EXPECT_FALSE(tree.Exists("sub\\zero"));
}

}  // namespace
}  // namespace tidwen
