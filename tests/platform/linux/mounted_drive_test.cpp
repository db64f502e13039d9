// Real drives in a private mount namespace of a child process: loop-mounted
// ext4 images and tmpfs mounts that nothing outside the child sees. A drive
// is the mount it was when the table was read, whatever its mount point
// leads to later; a drive can be unmounted once a command is over; stamps
// hold on a filesystem with one-second times; and the system's own trees
// are never listed.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "mount_support.h"
#include "platform/linux/system_trees.h"

namespace tidwen::test {
namespace {

std::string Listed(const RealForm& form) { return Join(form.Results()); }

// What a mount point is replaced with by someone who owns the directory
// above it: the directory moved aside, and a link to elsewhere in its place.
void SwapForLink(TempTree& tree, const std::string& target) {
  ASSERT_EQ(::rename(tree.Path("x/home/alice/mnt").c_str(), tree.Path("x/home/alice/mnt2").c_str()),
            0);
  tree.MakeDir("x/home/alice/mnt");
  ASSERT_EQ(::symlink(target.c_str(), tree.Path("x/home/alice/mnt/usb").c_str()), 0);
}

void SwapBack(TempTree& tree) {
  ASSERT_EQ(::unlink(tree.Path("x/home/alice/mnt/usb").c_str()), 0);
  ASSERT_EQ(::rmdir(tree.Path("x/home/alice/mnt").c_str()), 0);
  ASSERT_EQ(::rename(tree.Path("x/home/alice/mnt2").c_str(), tree.Path("x/home/alice/mnt").c_str()),
            0);
}

TEST(LinuxMountedDrive, DriveIsTheMountItWasWhateverItsPathLeadsToLater) {
  TempTree tree;
  tree.MakeDir("x/home/alice/mnt/usb");
  tree.MakeDir("other");
  const std::string usb = tree.Path("x/home/alice/mnt/usb");

  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    if (error.empty()) error = MountExt4(tree.Path("usb.img"), usb);
    // Another filesystem's root, full of files the user never chose.
    if (error.empty()) error = MountTmpfs(tree.Path("other"));
    if (!error.empty()) return error;
    tree.MakeFiles({"x/home/alice/mnt/usb/a.tmp", "x/home/alice/mnt/usb/c.tmp"}, "1");
    tree.MakeFile("x/home/alice/mnt/usb/b.tmp", "1", 0444);
    tree.MakeFiles({"other/a.tmp", "other/b.tmp", "other/c.tmp", "other/precious.bak"}, "1");
    return {};
  };

  const auto check = [&]() -> std::string {
    const DriveTable drives = DriveTable::FromSystem();
    const Drive* drive = nullptr;
    for (const Drive& d : drives.Drives()) {
      if (d.mountPoint == usb) drive = &d;
      if (d.mountPoint == tree.Path("other")) return "a tmpfs got a letter";
    }
    if (drive == nullptr) return "the image got no letter";
    if (drive->mountId == 0 || drive->device == 0) return "the drive's mount was not recorded";
    const std::string root = std::string(1, drive->letter) + ":\\";
    const std::string chosen = DriveListText(*drive);

    // Mid-batch: while c.tmp is deleted, the mount point is swapped for a
    // link. b.tmp is refused (read-only) and its box ends the batch's use
    // of what it kept; a.tmp is then looked up afresh, and the drive is not
    // ready.
    TriggerSysCalls sys;
    RealForm form(drives, chosen, sys);
    ScanAndSelectAll(form);
    if (form.Results() !=
        std::vector<std::string>{root + "a.tmp", root + "b.tmp", root + "c.tmp"}) {
      return "scan listed " + Listed(form);
    }
    sys.When(Op::kRenameAt2, "c.tmp", [&] { SwapForLink(tree, tree.Path("other")); });
    DeleteConfirmed(form);
    if (FailureBoxes(form) !=
        std::vector<std::string>{"不能删除文件" + root + "b.tmp", "发生错误71"}) {
      return "mid-batch boxes " + Join(FailureBoxes(form));
    }

    // Swapped before a scan: nothing is listed.
    RealForm before(drives, chosen, sys);
    Command1_Click(before.context);
    if (!before.Results().empty() || before.Label1.Caption() != "共找到 0个垃圾文件") {
      return "a swapped drive listed " + Listed(before);
    }

    // Swapped between the scan and the deletion: nothing is deleted.
    SwapBack(tree);
    RealForm between(drives, chosen, sys);
    ScanAndSelectAll(between);
    if (between.Results() != std::vector<std::string>{root + "a.tmp", root + "b.tmp"}) {
      return "rescan listed " + Listed(between);
    }
    SwapForLink(tree, "/");
    DeleteConfirmed(between);
    if (FailureBoxes(between) != std::vector<std::string>{"发生错误71", "发生错误71"}) {
      return "boxes after the swap " + Join(FailureBoxes(between));
    }
    for (const char* name : {"other/a.tmp", "other/b.tmp", "other/c.tmp", "other/precious.bak"}) {
      if (!tree.Exists(name)) return std::string(name) + " was deleted";
    }
    if (tree.Exists("x/home/alice/mnt2/usb/c.tmp") || !tree.Exists("x/home/alice/mnt2/usb/a.tmp")) {
      return "the drive's own files are not as they should be";
    }
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

TEST(LinuxMountedDrive, DriveCanBeUnmountedOnceTheCommandsHaveReleasedIt) {
  TempTree tree;
  tree.MakeDir("stick");
  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    if (error.empty()) error = MountExt4(tree.Path("stick.img"), tree.Path("stick"));
    if (!error.empty()) return error;
    tree.MakeFiles({"stick/a.tmp", "stick/d/b.tmp", "stick/d/e/c.tmp"}, "1");
    return {};
  };
  const auto check = [&]() -> std::string {
    const DriveTable drives = DriveTable::FromSystem();
    const Drive* drive = nullptr;
    for (const Drive& d : drives.Drives()) {
      if (d.mountPoint == tree.Path("stick")) drive = &d;
    }
    if (drive == nullptr) return "the image got no letter";
    TriggerSysCalls sys;
    RealForm form(drives, DriveListText(*drive), sys);
    ScanAndSelectAll(form);
    form.List1.SetSelected(0, false);
    DeleteConfirmed(form);
    if (form.Results().size() != 1) return "deletion left " + Listed(form);
    // The scan leaves its listers on the last directory, which keeps the
    // drive busy until the command's end releases it.
    if (::umount2(tree.Path("stick").c_str(), 0) == 0) return "unmounted while a lister held it";
    if (errno != EBUSY) return Errno("umount");
    form.platform.ReleaseHandles();
    if (!sys.OpenFds().empty()) return "descriptors still open";
    if (::umount2(tree.Path("stick").c_str(), 0) != 0) return Errno("umount after the release");
    // A drive unmounted is not ready, whatever is left at its mount point.
    tree.MakeFile("stick/stray.tmp", "1");
    RealForm after(drives, DriveListText(*drive), sys);
    ScanAndSelectAll(after);
    if (!after.Results().empty()) return "an unmounted drive listed " + Listed(after);
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

// ext4 with 128-byte inodes keeps times in whole seconds and no birth
// time: within one second, only size and the inode generation tell a file
// changed or made anew. Two links to one file are both the file the user
// chose, although deleting one moves the other's change time.
TEST(LinuxMountedDrive, StampsHoldOnOneSecondTimesAndHardLinksAreBothDeleted) {
  TempTree tree;
  tree.MakeDir("coarse");
  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    if (error.empty()) error = MountExt4(tree.Path("coarse.img"), tree.Path("coarse"), 128);
    return error;
  };
  const auto check = [&]() -> std::string {
    TriggerSysCalls sys;
    // The same second must hold from the scan to the changes; a few tries
    // find one that does.
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::string dir = "coarse/t" + std::to_string(attempt);
      tree.MakeFiles({dir + "/grow.tmp", dir + "/again.tmp", dir + "/keep.tmp", dir + "/link1.tmp"},
                     "scanned");
      if (::link(tree.Path(dir + "/link1.tmp").c_str(), tree.Path(dir + "/link2.tmp").c_str()) !=
          0) {
        return Errno("link");
      }
      RealForm form(DriveTable({Drive{'c', tree.Path(dir), ""}}), "c:", sys);
      const std::time_t start = std::time(nullptr);
      ScanAndSelectAll(form);
      const int fd = ::open(tree.Path(dir + "/grow.tmp").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      if (fd < 0 || ::write(fd, "+", 1) != 1) return Errno("append");
      ::close(fd);
      tree.Remove(dir + "/again.tmp");
      tree.MakeFile(dir + "/again.tmp", "scanned");
      if (std::time(nullptr) != start) continue;

      if (form.List1.ListCount() != 5) return "listed " + Listed(form);
      if (form.List1.Stamp(0).identity != StampIdentity::kGeneration) {
        return "the stamp holds no generation here";
      }
      DeleteConfirmed(form);
      if (FailureBoxes(form) !=
          std::vector<std::string>{"不能删除文件c:\\grow.tmp", "不能删除文件c:\\again.tmp"}) {
        return "boxes " + Join(FailureBoxes(form));
      }
      if (form.Results() != std::vector<std::string>{"c:\\again.tmp", "c:\\grow.tmp"}) {
        return "left " + Listed(form);
      }
      for (const char* gone : {"/keep.tmp", "/link1.tmp", "/link2.tmp"}) {
        if (tree.Exists(dir + gone)) return std::string(gone) + " was not deleted";
      }
      if (tree.ReadFile(dir + "/grow.tmp") != "scanned+") return "grow.tmp was touched";
      return {};
    }
    return "no attempt stayed within one second";
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

// A whole scan of "/" lists nothing of the system's trees and letters no
// mount inside them: checked in a child whose root is a small tmpfs laid
// out like a system, with an ext4 stick mounted inside /opt and another in
// /media.
TEST(LinuxMountedDrive, SystemTreesAreNeverListedNorLettered) {
  TempTree tree;
  tree.MakeDir("root");
  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    if (error.empty()) error = MountTmpfs(tree.Path("root"));
    if (!error.empty()) return error;
    for (const char* dir : {"root/opt/stick", "root/media/stick", "root/proc"}) tree.MakeDir(dir);
    tree.MakeFiles({"root/usr/lib/a.tmp", "root/etc/b.bak", "root/opt/c.tmp", "root/var/lib/d.tmp",
                    "root/var/tmp/e.tmp", "root/home/u/f.tmp", "root/snap/g.tmp",
                    "root/lib64/h.old"},
                   "1");
    tree.MakeFile("root/etc/subuid");
    // What /var keeps is the system's: live logs, locks, backups.
    tree.MakeFiles({"root/var/log/wtmp", "root/var/cache/apt/archives/lock"});
    tree.MakeFiles({"root/var/backups/passwd.bak", "root/var/log/old.log.old"}, "1");
    error = MountExt4(tree.Path("in-opt.img"), tree.Path("root/opt/stick"));
    if (error.empty()) error = MountExt4(tree.Path("stick.img"), tree.Path("root/media/stick"));
    if (!error.empty()) return error;
    tree.MakeFile("root/opt/stick/y.tmp", "1");
    if (::mount("proc", tree.Path("root/proc").c_str(), "proc", 0, nullptr) != 0) {
      return Errno("cannot mount /proc");
    }
    if (::chroot(tree.Path("root").c_str()) != 0 || ::chdir("/") != 0) return Errno("chroot");
    return {};
  };
  const auto check = [&]() -> std::string {
    const DriveTable drives = DriveTable::FromSystem();
    std::vector<std::string> lettered;
    for (const Drive& d : drives.Drives()) lettered.push_back(DriveListText(d));
    if (lettered != std::vector<std::string>{"c: [/]", "d: [/media/stick]"}) {
      return "lettered " + Join(lettered);
    }
    TriggerSysCalls sys;
    RealForm form(drives, "c: [/]", sys);
    ScanAndSelectAll(form);
    if (form.Results() != std::vector<std::string>{"c:\\home\\u\\f.tmp", "c:\\var\\tmp\\e.tmp"}) {
      return "listed " + Listed(form);
    }
    // /var is walked only as the way to /var/tmp.
    for (std::int64_t i = 0; i < form.List3.ListCount(); ++i) {
      const std::string queued = "/" + std::string(form.List3.List(i).substr(3));
      if (InSystemTree(queued) && PassageAt(queued).empty()) return "walked " + queued;
    }
    // Browsing into a system tree shows no file either.
    form.platform.File1().SetPath("c:\\etc");
    if (form.platform.File1().ListCount() != 0) return "c:\\etc lists files";
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

}  // namespace
}  // namespace tidwen::test
