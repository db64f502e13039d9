// Files that change between the scan and the deletion: the deletion removes
// only the file the user saw listed. Another file at the path, or data in a
// file listed as empty, is refused like a read-only file, and the entry
// stays.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fault_support.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;

ino_t InodeOf(const TempTree& tree, std::string_view relative) {
  struct stat st {};
  EXPECT_EQ(::lstat(tree.Path(relative).c_str(), &st), 0);
  return st.st_ino;
}

// Lets the clock move on, so that what is made next is not stamped with the
// same time as what was scanned, even by a filesystem with coarse times.
void LetTimePass() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

class HardeningChanged : public HardeningTest {};
INSTANTIATE_TEST_SUITE_P(, HardeningChanged, ::testing::Bool(), WalkName);

TEST_P(HardeningChanged, FileRemovedAndMadeAgainUnderItsNameIsRefused) {
  tree.MakeFile("d/x.tmp", "scanned");
  tree.MakeFile("d/y.tmp", "scanned");
  tree.MakeFile("d/z.tmp", "unchanged");
  ScanAndSelectAll(form);
  ASSERT_EQ(form.List1.ListCount(), 3);
  const ino_t scanned = InodeOf(tree, "d/x.tmp");

  // A program deletes the file and writes a new one of the same name, size
  // and content. Most filesystems hand the freed inode number to the next
  // file made, so the new x.tmp often has the old one's number.
  LetTimePass();
  tree.Remove("d/x.tmp");
  tree.MakeFile("d/x.tmp", "scanned");
  tree.Remove("d/y.tmp");
  tree.MakeFile("d/y.tmp", "new");
  RecordProperty("inode_reused", InodeOf(tree, "d/x.tmp") == scanned ? "yes" : "no");

  DeleteConfirmed(form);
  EXPECT_THAT(form.BoxTexts(), ElementsAre("确实要删除这3项吗？", "不能删除文件c:\\d\\y.tmp",
                                           "不能删除文件c:\\d\\x.tmp"));
  ASSERT_THAT(form.Results(), ElementsAre("c:\\d\\x.tmp", "c:\\d\\y.tmp"));
  EXPECT_TRUE(form.List1.Selected(0));
  EXPECT_TRUE(form.List1.Selected(1));
  EXPECT_EQ(tree.ReadFile("d/x.tmp"), "scanned");
  EXPECT_EQ(tree.ReadFile("d/y.tmp"), "new");
  EXPECT_FALSE(tree.Exists("d/z.tmp"));
  EXPECT_EQ(form.Label1.Caption(), "还剩下 2个垃圾文件");
}

TEST_P(HardeningChanged, TwoListedFilesSwappedByNameAreBothRefused) {
  tree.MakeFile("a.tmp", "a");
  tree.MakeFile("b.tmp", "b");
  ScanAndSelectAll(form);
  // Each path now holds the other listed file, which the user did not see
  // there.
  ASSERT_EQ(::renameat2(AT_FDCWD, tree.Path("a.tmp").c_str(), AT_FDCWD, tree.Path("b.tmp").c_str(),
                        RENAME_EXCHANGE),
            0);
  DeleteConfirmed(form);
  EXPECT_THAT(form.BoxTexts(),
              ElementsAre("确实要删除这2项吗？", "不能删除文件c:\\b.tmp", "不能删除文件c:\\a.tmp"));
  EXPECT_EQ(tree.ReadFile("a.tmp"), "b");
  EXPECT_EQ(tree.ReadFile("b.tmp"), "a");
  EXPECT_EQ(form.Label1.Caption(), "还剩下 2个垃圾文件");
}

TEST_P(HardeningChanged, EmptyFileWrittenSinceTheScanIsRefusedWhereverItIsWritten) {
  tree.MakeFile("e/appended.txt");
  tree.MakeFile("e/rewritten.tmp");
  tree.MakeFile("e/untouched.tmp");
  ScanAndSelectAll(form);
  ASSERT_THAT(form.Results(),
              ElementsAre("c:\\e\\appended.txt", "c:\\e\\rewritten.tmp", "c:\\e\\untouched.tmp"));
  // Written in place: the same file, no longer empty.
  const int fd = ::open(tree.Path("e/appended.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "log line\n", 9), 9);
  ::close(fd);
  tree.MakeFile("e/rewritten.tmp", "data");

  DeleteConfirmed(form);
  EXPECT_THAT(form.BoxTexts(),
              ElementsAre("确实要删除这3项吗？", "不能删除文件c:\\e\\rewritten.tmp",
                          "不能删除文件c:\\e\\appended.txt"));
  EXPECT_THAT(form.Results(), ElementsAre("c:\\e\\appended.txt", "c:\\e\\rewritten.tmp"));
  EXPECT_EQ(tree.ReadFile("e/appended.txt"), "log line\n");
  EXPECT_EQ(tree.ReadFile("e/rewritten.tmp"), "data");
  EXPECT_FALSE(tree.Exists("e/untouched.tmp"));
  EXPECT_EQ(form.Label1.Caption(), "还剩下 2个垃圾文件");
}

TEST_P(HardeningChanged, FileSwappedDuringTheDeletionWalkIsRefused) {
  tree.MakeFile("d/a.tmp", "1");
  tree.MakeFile("d/b.tmp", "1");
  ScanAndSelectAll(form);
  // While the deletion removes b.tmp, another program replaces a.tmp, which
  // comes next, with a new file.
  sys.When(Op::kRenameAt2, "b.tmp", [&] {
    LetTimePass();
    tree.Remove("d/a.tmp");
    tree.MakeFile("d/a.tmp", "1");
  });
  DeleteConfirmed(form);
  EXPECT_THAT(FailureBoxes(form), ElementsAre("不能删除文件c:\\d\\a.tmp"));
  EXPECT_THAT(form.Results(), ElementsAre("c:\\d\\a.tmp"));
  EXPECT_TRUE(tree.Exists("d/a.tmp"));
  EXPECT_FALSE(tree.Exists("d/b.tmp"));
}

}  // namespace
}  // namespace tidwen::test
