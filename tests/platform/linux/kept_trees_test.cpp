// What each system calls its own, on real trees and mounts: another
// system's root (a chroot, a snapshot) keeps its system trees out as this
// system's are; the layers of an overlay laid over the system are the
// system's; and a tree a tool keeps is no drive of its own, whatever is
// mounted on it or from it.
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fault_support.h"
#include "mount_support.h"
#include "platform/linux/system_trees.h"

namespace tidwen::test {
namespace {

using ::testing::UnorderedElementsAreArray;

// The mount points of the lettered drives that lie in tree, below its root.
std::vector<std::string> LetteredIn(const TempTree& tree, const DriveTable& drives) {
  std::vector<std::string> lettered;
  for (const Drive& d : drives.Drives()) {
    if (d.mountPoint.rfind(tree.Root() + "/", 0) == 0) {
      lettered.push_back(d.mountPoint.substr(tree.Root().size() + 1));
    }
  }
  std::sort(lettered.begin(), lettered.end());
  return lettered;
}

// A system laid out in home/u/chroot, beside the user's own files and a
// directory that merely holds a usr.
const std::vector<std::string> kOtherSystem = {"chroot/usr/lib/a.tmp",
                                               "chroot/etc/b.bak",
                                               "chroot/boot/c.tmp",
                                               "chroot/opt/d.tmp",
                                               "chroot/bin/e.tmp",
                                               "chroot/sbin/f.tmp",
                                               "chroot/lib/g.tmp",
                                               "chroot/lib64/h.old",
                                               "chroot/snap/i.tmp",
                                               "chroot/var/backups/j.bak",
                                               "chroot/var/k.tmp",
                                               "chroot/var/log/wtmp",
                                               "chroot/var/cache/apt/archives/lock"};
const std::vector<std::string> kUsers = {
    "own.tmp",          "chroot/top.tmp",      "chroot/root/r.tmp",
    "chroot/tmp/x.tmp", "chroot/home/v/v.tmp", "chroot/var/tmp/t.tmp",
    "notsys/usr/n.tmp", "notsys/var/m.tmp"};

std::vector<std::string> DrivePaths(const std::vector<std::string>& relatives) {
  std::vector<std::string> paths;
  for (std::string path : relatives) {
    std::replace(path.begin(), path.end(), '/', '\\');
    paths.push_back("c:\\home\\u\\" + path);
  }
  return paths;
}

TEST(LinuxKeptTrees, AnotherSystemsRootKeepsItsSystemTreesOut) {
  for (const int workers : {0, 2}) {
    SCOPED_TRACE(std::to_string(workers) + " workers reading ahead");
    TempTree tree;
    for (const std::string& f : kOtherSystem) tree.MakeFile("home/u/" + f);
    for (const std::string& f : kUsers) tree.MakeFile("home/u/" + f, "1");
    RealSysCalls real;
    RealForm form(DriveTable({Drive{'c', tree.Root(), ""}}), "c:", real);
    form.platform.SetReadAhead(workers, 0);
    ScanAndSelectAll(form);
    EXPECT_THAT(form.Results(), UnorderedElementsAreArray(DrivePaths(kUsers)));
    DeleteConfirmed(form);
    EXPECT_TRUE(FailureBoxes(form).empty()) << Join(FailureBoxes(form));
    for (const std::string& f : kOtherSystem) EXPECT_TRUE(tree.Exists("home/u/" + f)) << f;
    for (const std::string& f : kUsers) EXPECT_FALSE(tree.Exists("home/u/" + f)) << f;
  }
}

// Disks mounted on another system's trees: one on its opt gets no letter;
// one on its var does, and shows its tmp alone.
TEST(LinuxKeptTrees, DisksOnAnotherSystemsTreesAreItsToo) {
  TempTree tree;
  for (const char* dir : {"chroot/usr", "chroot/etc", "chroot/opt", "chroot/var", "plain/opt"}) {
    tree.MakeDir(dir);
  }
  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    if (error.empty()) error = MountExt4(tree.Path("opt.img"), tree.Path("chroot/opt"));
    if (error.empty()) error = MountExt4(tree.Path("var.img"), tree.Path("chroot/var"));
    if (error.empty()) error = MountExt4(tree.Path("plain.img"), tree.Path("plain/opt"));
    if (!error.empty()) return error;
    tree.MakeFiles({"chroot/var/tmp/t.tmp", "chroot/var/log/l.tmp", "chroot/var/v.tmp"}, "1");
    return {};
  };
  const auto check = [&]() -> std::string {
    const DriveTable drives = DriveTable::FromSystem();
    const std::vector<std::string> lettered = LetteredIn(tree, drives);
    if (lettered != std::vector<std::string>{"chroot/var", "plain/opt"}) {
      return "lettered " + Join(lettered);
    }
    const Drive* var = nullptr;
    for (const Drive& d : drives.Drives()) {
      if (d.mountPoint == tree.Path("chroot/var")) var = &d;
    }
    RealSysCalls real;
    RealForm form(drives, DriveListText(*var), real);
    ScanAndSelectAll(form);
    const std::string root = std::string(1, var->letter) + ":\\";
    if (form.Results() != std::vector<std::string>{root + "tmp\\t.tmp"}) {
      return "listed " + Join(form.Results());
    }
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

// An overlay over /usr, with its upper layer and work directory in the
// tree, and another over a directory of the user's: the first's layers are
// the system's, the second's the user's.
TEST(LinuxKeptTrees, TheLayersOfAnOverlayOverTheSystemAreTheSystems) {
  TempTree tree;
  for (const char* dir : {"merged", "merged2", "persist/rw/work", "mine/work", "plain"}) {
    tree.MakeDir(dir);
  }
  tree.MakeFiles({"persist/rw/usr/lib/x.tmp", "mine/upper/y.tmp", "plain/p.tmp", "f.tmp"}, "1");
  const auto overlay = [&](const std::string& lower, const std::string& upper,
                           const std::string& work, const std::string& at) -> std::string {
    const std::string options = "lowerdir=" + lower + ",upperdir=" + upper + ",workdir=" + work;
    if (::mount("overlay", at.c_str(), "overlay", 0, options.c_str()) != 0) {
      return Errno("cannot mount an overlay");
    }
    return {};
  };
  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    if (error.empty()) {
      error = overlay("/usr", tree.Path("persist/rw/usr"), tree.Path("persist/rw/work"),
                      tree.Path("merged"));
    }
    if (error.empty()) {
      error = overlay(tree.Path("plain"), tree.Path("mine/upper"), tree.Path("mine/work"),
                      tree.Path("merged2"));
    }
    return error;
  };
  const auto check = [&]() -> std::string {
    RealSysCalls real;
    RealForm form(DriveTable({Drive{'c', tree.Root(), ""}}), "c:", real);
    ScanAndSelectAll(form);
    std::vector<std::string> listed = form.Results();
    std::sort(listed.begin(), listed.end());
    if (listed !=
        std::vector<std::string>{"c:\\f.tmp", "c:\\mine\\upper\\y.tmp", "c:\\plain\\p.tmp"}) {
      return "listed " + Join(listed);
    }
    if (form.platform.DrivePathOf(tree.Path("persist/rw/usr/lib"))) return "a start in the layer";
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

// Overlays as a mount table gives them, their layers real directories: which
// are the system's.
TEST(LinuxKeptTrees, OverlaysLaidOverTheSystemAreKnownFromTheMountTable) {
  TempTree tree;
  const struct {
    const char* mountPoint;  // "" for one in the tree
    std::string lower;
    bool system;
  } rows[] = {
      // A live system's persistence: the overlay is "/".
      {"/", "/run/live/rootfs/filesystem.squashfs", true},
      {"/usr", "/srv/no-such-lower", true},
      {"", "/", true},
      {"", "/usr", true},
      {"", tree.Path("plain") + ":/usr", true},
      {"", tree.Path("plain"), false},
      {"", "/srv/no-such-lower", false},
  };
  tree.MakeDir("plain");
  int n = 0;
  for (const auto& row : rows) {
    const std::string layer = "row" + std::to_string(n++);
    SCOPED_TRACE(std::string(row.mountPoint) + " over " + row.lower);
    tree.MakeDir(layer + "/upper");
    tree.MakeDir(layer + "/work");
    const std::string at = *row.mountPoint != '\0' ? row.mountPoint : tree.Path(layer + "/m");
    const std::string line = "70 26 0:50 / " + at +
                             " rw - overlay overlay rw,lowerdir=" + row.lower +
                             ",upperdir=" + tree.Path(layer + "/upper") +
                             ",workdir=" + tree.Path(layer + "/work") + "\n";
    const SystemTrees trees = SystemTrees::Record(line);
    for (const char* kind : {"/upper", "/work"}) {
      struct stat st {};
      ASSERT_EQ(::stat(tree.Path(layer + kind).c_str(), &st), 0);
      EXPECT_EQ(trees.KeepsOut(st.st_dev, st.st_ino), row.system) << kind;
    }
  }
}

// A disk on node_modules, a bind mount of site-packages and one of a .git
// get no letter; a disk beside them does.
TEST(LinuxKeptTrees, TreesAToolKeepsAreNoDrivesOfTheirOwn) {
  TempTree tree;
  for (const char* dir :
       {"proj/node_modules", "proj/.git/objects", "venv/lib/python3.12/site-packages/pkg", "mnt/sp",
        "mnt/git", "mnt/disk"}) {
    tree.MakeDir(dir);
  }
  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    if (error.empty()) error = MountExt4(tree.Path("nm.img"), tree.Path("proj/node_modules"));
    if (error.empty()) error = MountExt4(tree.Path("disk.img"), tree.Path("mnt/disk"));
    if (error.empty()) {
      error = BindMount(tree.Path("venv/lib/python3.12/site-packages"), tree.Path("mnt/sp"));
    }
    if (error.empty()) error = BindMount(tree.Path("proj/.git"), tree.Path("mnt/git"));
    return error;
  };
  const auto check = [&]() -> std::string {
    const std::vector<std::string> lettered = LetteredIn(tree, DriveTable::FromSystem());
    if (lettered != std::vector<std::string>{"mnt/disk"}) return "lettered " + Join(lettered);
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

}  // namespace
}  // namespace tidwen::test
