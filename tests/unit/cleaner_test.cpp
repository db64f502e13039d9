#include "clean/cleaner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frontend/common/form1_commands.h"
#include "memory_platform.h"
#include "model/runtime_error.h"
#include "rules/junk_rules.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CleanerTest : public ::testing::Test {
 protected:
  void SetUp() override { Form_Load(p.context); }

  // Adds a result entry for a file of the tree, selected or not.
  void AddResult(const std::string& path, bool selected = true) {
    p.List1.AddItem(path);
    p.List1.SetSelected(p.List1.ListCount() - 1, selected);
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : p.MessageBox.boxes) texts.push_back(box.text);
    return texts;
  }

  MemoryPlatform p;
};

TEST_F(CleanerTest, ManipFilesDeletesAWritableFileSilently) {
  p.tree.AddFile("c:\\a.tmp");
  p.context.CurrentPath = "c:\\a.tmp";
  Manip_Files(p.context);
  EXPECT_EQ(p.context.DeleteOutcome, 1);
  EXPECT_FALSE(p.tree.HasFile("c:\\a.tmp"));
  EXPECT_THAT(p.MessageBox.boxes, IsEmpty());
  EXPECT_EQ(p.FileSystem.liveObjects, 0);
}

TEST_F(CleanerTest, ManipFilesReportsEachFailureInOneBoxAndResetsTheOutcome) {
  p.tree.AddFile("c:\\ok.tmp");
  p.tree.AddFile("c:\\ro.tmp", 1, /*readOnly=*/true);
  p.tree.AddFile("c:\\busy.tmp");
  p.tree.FailDelete("c:\\busy.tmp", kFileBusy);

  p.context.CurrentPath = "c:\\ok.tmp";
  Manip_Files(p.context);
  ASSERT_EQ(p.context.DeleteOutcome, 1);

  for (const char* path : {"c:\\ro.tmp", "c:\\gone.tmp", "c:\\busy.tmp"}) {
    p.context.CurrentPath = path;
    Manip_Files(p.context);
    EXPECT_EQ(p.context.DeleteOutcome, 0) << path;
    EXPECT_EQ(p.context.CurrentPath, path);
    EXPECT_EQ(p.FileSystem.liveObjects, 0) << path;
  }
  EXPECT_THAT(BoxTexts(), ElementsAre("不能删除文件c:\\ro.tmp", "发生错误53", "发生错误72"));
  for (const auto& box : p.MessageBox.boxes) {
    EXPECT_EQ(box.buttons, MsgBoxButtons::kOkOnly);
    EXPECT_EQ(box.icon, MsgBoxIcon::kNone);
    EXPECT_EQ(box.title, "");
  }
  EXPECT_TRUE(p.tree.HasFile("c:\\ro.tmp"));
}

TEST_F(CleanerTest, ManipFilesReportsAFailedFileSystemObjectAndNegativeNumbers) {
  p.tree.AddFile("c:\\a.tmp");
  p.context.CurrentPath = "c:\\a.tmp";
  p.FileSystem.failCreate = -2147;
  Manip_Files(p.context);
  EXPECT_EQ(p.context.DeleteOutcome, 0);
  EXPECT_THAT(BoxTexts(), ElementsAre("发生错误-2147"));
  EXPECT_TRUE(p.tree.HasFile("c:\\a.tmp"));
}

TEST_F(CleanerTest, NothingSelectedRefusesAndLeavesTheLabel) {
  p.Label1.SetCaption("共找到 1个垃圾文件");
  Command2_Click(p.context);  // empty list
  p.tree.AddFile("c:\\a.tmp");
  AddResult("c:\\a.tmp", /*selected=*/false);
  Command2_Click(p.context);
  EXPECT_THAT(BoxTexts(), ElementsAre("请选择删除项目!", "请选择删除项目!"));
  EXPECT_EQ(p.MessageBox.boxes[0].title, "");
  EXPECT_EQ(p.Label1.Caption(), "共找到 1个垃圾文件");
  EXPECT_TRUE(p.tree.HasFile("c:\\a.tmp"));
}

TEST_F(CleanerTest, ConfirmationCountsSelectedEntriesAndNoTouchesNothing) {
  p.tree.AddFile("c:\\a.tmp");
  p.tree.AddFile("c:\\b.$$$");
  AddResult("c:\\a.tmp");
  AddResult("c:\\b.$$$");
  AddResult("c:\\b.$$$");
  AddResult("c:\\c.tmp", /*selected=*/false);
  p.MessageBox.answers = {kMsgBoxNo};
  Command2_Click(p.context);
  ASSERT_EQ(p.MessageBox.boxes.size(), 1u);
  const auto& box = p.MessageBox.boxes[0];
  EXPECT_EQ(box.text, "确实要删除这3项吗？");
  EXPECT_EQ(box.title, "三思而后行");
  EXPECT_EQ(box.buttons, MsgBoxButtons::kYesNo);
  EXPECT_EQ(box.icon, MsgBoxIcon::kExclamation);
  EXPECT_THAT(p.FileSystem.deleted, IsEmpty());
  EXPECT_EQ(p.List1.ListCount(), 4);
  EXPECT_TRUE(p.List1.Selected(0));
  EXPECT_FALSE(p.List1.Selected(3));
  EXPECT_EQ(p.Label1.Caption(), "还剩下 4个垃圾文件");
}

TEST_F(CleanerTest, DeletesFromTheLastEntryAndRemovesOnlyDeletedOnes) {
  p.tree.AddFile("c:\\a.tmp");
  p.tree.AddFile("c:\\b.tmp");
  p.tree.AddFile("c:\\keep.tmp");
  p.tree.AddFile("c:\\ro.tmp", 1, /*readOnly=*/true);
  p.tree.AddFile("c:\\c.tmp");
  AddResult("c:\\a.tmp");
  AddResult("c:\\b.tmp");  // adjacent to a.tmp: both must leave
  AddResult("c:\\keep.tmp", /*selected=*/false);
  AddResult("c:\\ro.tmp");
  AddResult("c:\\c.tmp");
  p.MessageBox.answers = {kMsgBoxYes};
  Command2_Click(p.context);
  EXPECT_THAT(p.FileSystem.deleted, ElementsAre("c:\\c.tmp", "c:\\b.tmp", "c:\\a.tmp"));
  EXPECT_THAT(p.List1.Texts(), ElementsAre("c:\\keep.tmp", "c:\\ro.tmp"));
  EXPECT_FALSE(p.List1.Selected(0));
  EXPECT_TRUE(p.List1.Selected(1));
  EXPECT_THAT(BoxTexts(), ElementsAre("确实要删除这4项吗？", "不能删除文件c:\\ro.tmp"));
  EXPECT_EQ(p.Label1.Caption(), "还剩下 2个垃圾文件");
  EXPECT_EQ(p.context.CurrentPath, "c:\\a.tmp");
  EXPECT_EQ(p.FileSystem.batches, 1);
  EXPECT_FALSE(p.FileSystem.inBatch);
}

// A file listed more than once (two junk types, or a repeat scan) is
// deleted once; its other entries leave with it, without a "not found" box,
// selected or not. One of another file once at the same path is still tried.
TEST_F(CleanerTest, FileListedTwiceIsDeletedOnceAndAllItsEntriesLeave) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, bool>> entries;  // path, selected
    bool replacedBetween;  // the first entry was stamped before the file was made anew
    std::vector<std::string> deleted;
    std::vector<std::string> boxes;
    std::vector<std::string> left;
  };
  const std::vector<Case> cases = {
      {"two types",
       {{"c:\\a.$$$", true}, {"c:\\a.$$$", true}},
       false,
       {"c:\\a.$$$"},
       {"确实要删除这2项吗？"},
       {}},
      {"repeat scans",
       {{"c:\\a.$$$", true},
        {"c:\\b.tmp", true},
        {"c:\\a.$$$", true},
        {"c:\\b.tmp", true},
        {"c:\\a.$$$", true}},
       false,
       {"c:\\a.$$$", "c:\\b.tmp"},
       {"确实要删除这5项吗？"},
       {}},
      {"one entry not selected",
       {{"c:\\a.$$$", false}, {"c:\\a.$$$", true}},
       false,
       {"c:\\a.$$$"},
       {"确实要删除这1项吗？"},
       {}},
      {"the entry not selected after the one deleted",
       {{"c:\\a.$$$", true}, {"c:\\b.tmp", false}, {"c:\\a.$$$", false}},
       false,
       {"c:\\a.$$$"},
       {"确实要删除这1项吗？"},
       {"c:\\b.tmp"}},
      {"another file once at the path",
       {{"c:\\a.$$$", true}, {"c:\\a.$$$", true}},
       true,
       {"c:\\a.$$$"},
       {"确实要删除这2项吗？", "发生错误53"},
       {"c:\\a.$$$"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPlatform q;
    Form_Load(q.context);
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      const auto& [path, selected] = c.entries[i];
      if (!q.tree.HasFile(path)) q.tree.AddFile(path);
      if (c.replacedBetween && i == 1) {
        q.tree.RemoveFile(path);
        q.tree.AddFile(path);
      }
      // Entries as a scan adds them, each with the stamp of the file it found.
      q.context.CurrentPath = path;
      const std::int64_t before = q.List1.ListCount();
      Printt(q.context);
      while (q.List1.ListCount() > before + 1) q.List1.RemoveItem(q.List1.ListCount() - 1);
      q.List1.SetSelected(before, selected);
    }
    q.MessageBox.answers = {kMsgBoxYes};
    Command2_Click(q.context);
    EXPECT_EQ(q.FileSystem.deleted, c.deleted);
    std::vector<std::string> boxes;
    for (const auto& box : q.MessageBox.boxes) boxes.push_back(box.text);
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(q.List1.Texts(), c.left);
    EXPECT_EQ(q.Label1.Caption(), "还剩下 " + std::to_string(c.left.size()) + "个垃圾文件");
  }
}

// A twin left behind would fail a later select-all and delete with
// "发生错误53" and never leave.
TEST_F(CleanerTest, ATwinNotSelectedNeverComesBackAsNotFound) {
  p.tree.AddFile("c:\\a.$$$");
  p.context.CurrentPath = "c:\\a.$$$";
  Printt(p.context);  // listed twice, under *.??$ and *.$$$
  ASSERT_EQ(p.List1.ListCount(), 2);
  p.List1.SetSelected(1, true);
  p.MessageBox.answers = {kMsgBoxYes};
  Command2_Click(p.context);
  Command5_Click(p.context);
  Command2_Click(p.context);
  EXPECT_THAT(BoxTexts(), ElementsAre("确实要删除这1项吗？", "请选择删除项目!"));
  EXPECT_EQ(p.List1.ListCount(), 0);
}

// Out of descriptors, every file after the first that fails would fail the
// same way: one box, and the entries not tried yet stay as they were.
TEST_F(CleanerTest, RunningOutOfDescriptorsStopsTheBatchAfterOneBox) {
  for (const char* path : {"c:\\a.tmp", "c:\\b.tmp", "c:\\c.tmp", "c:\\d.tmp", "c:\\e.tmp"}) {
    p.tree.AddFile(path);
    AddResult(path);
  }
  for (const char* path : {"c:\\c.tmp", "c:\\b.tmp", "c:\\a.tmp"}) {
    p.tree.FailDelete(path, kTooManyFiles);
  }
  p.MessageBox.answers = {kMsgBoxYes};
  Command2_Click(p.context);
  EXPECT_THAT(BoxTexts(), ElementsAre("确实要删除这5项吗？", "发生错误67"));
  EXPECT_THAT(p.FileSystem.deleted, ElementsAre("c:\\e.tmp", "c:\\d.tmp"));
  EXPECT_THAT(p.List1.Texts(), ElementsAre("c:\\a.tmp", "c:\\b.tmp", "c:\\c.tmp"));
  for (std::int64_t i = 0; i < 3; ++i) EXPECT_TRUE(p.List1.Selected(i));
  EXPECT_EQ(p.Label1.Caption(), "还剩下 3个垃圾文件");
  EXPECT_FALSE(p.FileSystem.inBatch);
}

TEST_F(CleanerTest, AllDeletedLeavesAnEmptyList) {
  for (const char* path : {"c:\\a.tmp", "c:\\b.tmp", "c:\\c.tmp"}) {
    p.tree.AddFile(path);
    AddResult(path);
  }
  p.MessageBox.answers = {kMsgBoxYes};
  Command2_Click(p.context);
  EXPECT_EQ(p.List1.ListCount(), 0);
  EXPECT_EQ(p.Label1.Caption(), "还剩下 0个垃圾文件");
}

TEST_F(CleanerTest, TheFileIsLookedUpAsTheEntryFoundIt) {
  p.tree.AddFile("c:\\a.tmp");
  p.context.CurrentPath = "c:\\a.tmp";
  Printt(p.context);
  ASSERT_EQ(p.List1.ListCount(), 1);
  // Another file now stands at the path: the entry's stamp no longer fits.
  p.tree.RemoveFile("c:\\a.tmp");
  p.tree.AddFile("c:\\a.tmp");
  p.List1.SetSelected(0, true);
  p.MessageBox.answers = {kMsgBoxYes};
  Command2_Click(p.context);
  ASSERT_EQ(p.FileSystem.stampsAsked.size(), 1u);
  EXPECT_TRUE(p.FileSystem.stampsAsked[0].known);
  EXPECT_THAT(BoxTexts(), ElementsAre("确实要删除这1项吗？", "不能删除文件c:\\a.tmp"));
  EXPECT_TRUE(p.tree.HasFile("c:\\a.tmp"));
  EXPECT_EQ(p.List1.ListCount(), 1);
}

}  // namespace
}  // namespace tidwen::test
