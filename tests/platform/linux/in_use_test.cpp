// A file another process holds is never deleted: open for reading, mapped,
// or written by a shell, it is refused with "不能删除文件" and the batch goes
// on, by the write lease where the filesystem grants one and by the open
// files /proc lists where it does not. Once let go, it is deleted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fault_support.h"
#include "file_holder.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class LinuxInUse : public ::testing::TestWithParam<Hold> {};
INSTANTIATE_TEST_SUITE_P(, LinuxInUse,
                         ::testing::Values(Hold::kOpen, Hold::kMapped, Hold::kShellWriting),
                         [](const auto& info) { return HoldName(info.param); });

TEST_P(LinuxInUse, AFileAnotherProcessHoldsIsRefusedAndTheBatchGoesOn) {
  for (const bool leases : {true, false}) {
    SCOPED_TRACE(leases ? "by the lease" : "no lease to be had: by /proc");
    TempTree tree;
    tree.MakeFiles({"a.tmp", "d/held.tmp", "d/z.tmp"}, "1");
    FileHolder holder(tree.Path("d/held.tmp"), GetParam());
    ASSERT_EQ(holder.Error(), "");
    const std::string held = tree.ReadFile("d/held.tmp");
    TriggerSysCalls sys;
    // As on a filesystem that grants no lease.
    if (!leases) sys.Fail(Op::kFcntl, EINVAL);
    RealForm form(tree, sys);
    ScanAndSelectAll(form);
    ASSERT_THAT(form.Results(), ElementsAre("c:\\a.tmp", "c:\\d\\held.tmp", "c:\\d\\z.tmp"));

    DeleteConfirmed(form);
    EXPECT_THAT(FailureBoxes(form), ElementsAre("不能删除文件c:\\d\\held.tmp"));
    EXPECT_THAT(form.Results(), ElementsAre("c:\\d\\held.tmp"));
    EXPECT_THAT(tree.Names("d"), ElementsAre("held.tmp"));
    EXPECT_EQ(tree.ReadFile("d/held.tmp"), held);
    EXPECT_FALSE(tree.Exists("a.tmp"));

    holder.LetGo();
    form.MessageBox.boxes.clear();
    DeleteConfirmed(form);
    EXPECT_THAT(FailureBoxes(form), IsEmpty());
    EXPECT_THAT(form.Results(), IsEmpty());
    EXPECT_THAT(tree.Names("d"), IsEmpty());
  }
}

}  // namespace
}  // namespace tidwen::test
