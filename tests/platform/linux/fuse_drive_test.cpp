// FUSE drives through the real platform: bindfs over a directory and
// fuse2fs serving an ext4 image, each mounted in a private mount namespace,
// scanned reading ahead as the program does and then cleaned. FUSE hands
// every ioctl to its daemon and copies back as many bytes as the request
// declares, so a buffer smaller than that is overrun: the scan crashed on
// such drives. Neither grants RENAME_NOREPLACE, so the deletion moves files
// aside the other way; and a file another process holds is kept, by the
// lease and, where none is had, by /proc.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_support.h"
#include "file_holder.h"
#include "mount_support.h"

namespace tidwen::test {
namespace {

enum class Fuse { kBindfs, kFuse2fs };

class LinuxFuseDrive : public ::testing::TestWithParam<Fuse> {};
INSTANTIATE_TEST_SUITE_P(, LinuxFuseDrive, ::testing::Values(Fuse::kBindfs, Fuse::kFuse2fs),
                         [](const auto& info) {
                           return info.param == Fuse::kBindfs ? "Bindfs" : "Fuse2fs";
                         });

std::string Listed(const std::vector<std::string>& texts) { return Join(texts); }

TEST_P(LinuxFuseDrive, IsScannedAndCleanedAndAFileInUseIsKept) {
  TempTree tree;
  tree.MakeDir("source");
  tree.MakeDir("drive");
  const std::string drive = tree.Path("drive");
  FuseMount mount;
  const auto setup = [&]() -> std::string {
    if (std::string error = PrivateMounts(); !error.empty()) return error;
    return GetParam() == Fuse::kBindfs ? MountBindfs(mount, tree.Path("source"), drive)
                                       : MountFuse2fs(mount, tree.Path("disk.img"), drive);
  };
  const auto scanAndClean = [&]() -> std::string {
    tree.MakeFiles({"drive/a.tmp", "drive/d/b.bak", "drive/d/held.tmp", "drive/d/keep.txt"}, "1");
    tree.MakeFile("drive/d/e/empty.log");
    const std::vector<std::string> all = {"c:\\a.tmp", "c:\\d\\b.bak", "c:\\d\\held.tmp",
                                          "c:\\d\\e\\empty.log"};
    const std::vector<std::string> held = {"c:\\d\\held.tmp"};
    const std::vector<std::string> refused = {"不能删除文件c:\\d\\held.tmp"};
    FileHolder holder(drive + "/d/held.tmp", Hold::kOpen);
    if (!holder.Error().empty()) return holder.Error();

    // As the program runs: the real calls, reading ahead on two threads.
    RealSysCalls real;
    RealForm form(DriveTable({Drive{'c', drive, ""}}), "c:", real);
    form.platform.SetReadAhead(2, 0);
    ScanAndSelectAll(form);
    if (form.Results() != all) return "listed " + Listed(form.Results());
    DeleteConfirmed(form);
    if (FailureBoxes(form) != refused) return "boxes " + Listed(FailureBoxes(form));
    if (form.Results() != held) return "kept " + Listed(form.Results());
    if (tree.Names("drive/d") != std::vector<std::string>{"e", "held.tmp", "keep.txt"} ||
        !tree.Names("drive/d/e").empty() || tree.Exists("drive/a.tmp")) {
      return "left " + Listed(tree.Names("drive/d"));
    }

    // Where no lease is to be had, /proc tells the file in use.
    ScriptedSysCalls noLease;
    noLease.Fail(Op::kFcntl, EINVAL);
    RealForm again(DriveTable({Drive{'c', drive, ""}}), "c:", noLease);
    ScanAndSelectAll(again);
    if (again.Results() != held) return "listed again " + Listed(again.Results());
    DeleteConfirmed(again);
    if (FailureBoxes(again) != refused)
      return "boxes without a lease " + Listed(FailureBoxes(again));
    holder.LetGo();
    again.MessageBox.boxes.clear();
    DeleteConfirmed(again);
    if (!FailureBoxes(again).empty() || !again.Results().empty()) {
      return "once let go: boxes " + Listed(FailureBoxes(again)) + ", kept " +
             Listed(again.Results());
    }
    if (tree.Names("drive/d") != std::vector<std::string>{"e", "keep.txt"}) {
      return "left at last " + Listed(tree.Names("drive/d"));
    }
    return {};
  };
  const auto check = [&]() -> std::string {
    const std::string message = scanAndClean();
    mount.Unmount();
    return message;
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

}  // namespace
}  // namespace tidwen::test
