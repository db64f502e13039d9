// The drive table: letters from a mount table, and the mapping between drive
// paths and POSIX paths.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <optional>
#include <set>
#include <string>

#include "fault_support.h"
#include "mount_support.h"
#include "platform/linux/drive_table.h"

namespace tidwen {
namespace {

// A mount table in /proc/self/mountinfo form, with the kinds of entries a
// desktop, a container and a server show.
constexpr std::string_view kMountInfo =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "22 26 0:21 / /sys rw,relatime shared:7 - sysfs sysfs rw\n"
    "23 26 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,mode=755\n"
    "24 23 0:22 / /dev/shm rw,relatime - tmpfs /dev/shm rw\n"
    "25 23 0:23 / /dev/pts rw,relatime - devpts devpts rw\n"
    "26 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "27 26 8:1 / /boot rw,relatime shared:2 - ext4 /dev/sda1 rw\n"
    "28 26 0:27 / /run rw,nosuid - tmpfs tmpfs rw\n"
    "29 22 0:28 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
    "30 26 8:2 / /home rw,relatime shared:3 master:1 - btrfs /dev/sda2 rw\n"
    "31 26 8:17 / /mnt/my\\040disk rw - vfat /dev/sdb1 rw\n"
    "32 26 254:0 /etc/hostname /etc/hostname rw - ext4 /dev/vda rw\n"
    "33 26 0:40 / /srv/share rw - nfs4 server:/export rw\n"
    "34 26 0:41 / /mnt/usb rw - ext4 /dev/sdc1 rw\n"
    "35 34 0:42 / /mnt/usb rw - tmpfs tmpfs rw\n"
    "36 26 0:43 / /mnt/cd rw - tmpfs tmpfs rw\n"
    "37 36 11:0 / /mnt/cd ro - iso9660 /dev/sr0 ro\n"
    "38 26 0:44 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
    "39 26 0:45 / /home/u/remote rw - fuse.sshfs u@host:/ rw\n"
    "40 26 0:46 / /proc/sys/fs/binfmt_misc rw - binfmt_misc binfmt_misc rw\n"
    "41 26 0:47 / /data rw - xfs loop-device-by-label rw\n"
    "42 26 0:48 / /mnt/weird\\134name rw - ext4 /dev/sdd1 rw\n"
    "garbage line\n"
    "43 26 0:49 / / rw - overlay overlay rw\n";

// Every mount point in the sample but the file bind mount is a directory
// of a mount this machine does not have: the table's word counts.
std::optional<MountIdentity> SampleProbe(const std::string& path, bool) {
  if (path == "/etc/hostname") return std::nullopt;
  MountIdentity identity;
  identity.directory = true;
  return identity;
}

// Mount tables of another machine, whose system trees are not known here.
const SystemTrees kNoTrees;

std::vector<std::string> Texts(const DriveTable& table) {
  std::vector<std::string> texts;
  // As the drive list words them: the letter, then the mount point.
  for (const Drive& d : table.Drives()) texts.push_back(test::DriveListText(d));
  return texts;
}

TEST(LinuxDriveTable, LettersGoToStorageMountsInMountPointOrder) {
  const DriveTable table = DriveTable::FromMountInfo(kMountInfo, SampleProbe, kNoTrees);
  // /mnt/usb is covered by a tmpfs: what shows there holds nothing on
  // storage. /mnt/cd is a tmpfs covered by a disc, which counts. /boot lies
  // in the system's own trees.
  const std::vector<std::string> expected = {"c: [/]",
                                             "d: [/data]",
                                             "e: [/home]",
                                             "f: [/home/u/remote]",
                                             "g: [/mnt/cd]",
                                             "h: [/mnt/my disk]",
                                             "i: [/mnt/weird\\name]",
                                             "j: [/srv/share]"};
  EXPECT_EQ(Texts(table), expected);
  // The root's type is that of the last mount on "/".
  EXPECT_EQ(table.Drives().front().fsType, "overlay");
  EXPECT_EQ(table.Find('e')->fsType, "btrfs");
  // Each drive is the mount it was: its ID and its root's device.
  EXPECT_EQ(table.Find('e')->mountId, 30u);
  EXPECT_EQ(table.Find('e')->device, makedev(8, 2));
  EXPECT_EQ(table.Find('g')->mountId, 37u);
  EXPECT_EQ(table.Find('g')->device, makedev(11, 0));
}

TEST(LinuxDriveTable, DrivesKeepTheirLettersWhileMountedAndNewOnesTakeTheLowestFree) {
  const std::string before =
      "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
      "50 26 8:1 / /media/u/zeta rw - vfat /dev/sdb1 rw\n"
      "51 26 8:17 / /media/u/alpha rw - vfat /dev/sdc1 rw\n"
      "52 26 8:33 / /media/u/mid rw - ext4 /dev/sdd1 rw\n";
  const DriveTable first = DriveTable::FromMountInfo(before, SampleProbe, kNoTrees);
  EXPECT_EQ(Texts(first), (std::vector<std::string>{"c: [/]", "d: [/media/u/alpha]",
                                                    "e: [/media/u/mid]", "f: [/media/u/zeta]"}));
  // alpha is unplugged and another stick is mounted; mid is unmounted and
  // mounted again at once, a new mount at the same place.
  const std::string after =
      "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
      "50 26 8:1 / /media/u/zeta rw - vfat /dev/sdb1 rw\n"
      "53 26 8:49 / /media/u/beta rw - vfat /dev/sde1 rw\n"
      "54 26 8:33 / /media/u/mid rw - ext4 /dev/sdd1 rw\n";
  const DriveTable second = DriveTable::FromMountInfo(after, SampleProbe, kNoTrees, &first);
  EXPECT_EQ(Texts(second), (std::vector<std::string>{"c: [/]", "d: [/media/u/beta]",
                                                     "e: [/media/u/mid]", "f: [/media/u/zeta]"}));
  EXPECT_EQ(second.Find('d')->mountId, 53u);
  EXPECT_EQ(second.Find('e')->mountId, 54u);
  // Read afresh, letters follow the mount points again.
  EXPECT_EQ(Texts(DriveTable::FromMountInfo(after, SampleProbe, kNoTrees)),
            (std::vector<std::string>{"c: [/]", "d: [/media/u/beta]", "e: [/media/u/mid]",
                                      "f: [/media/u/zeta]"}));
}

TEST(LinuxDriveTable, RootIsDriveCEvenWithoutMountTable) {
  const DriveTable table = DriveTable::FromMountInfo("", SampleProbe, kNoTrees);
  ASSERT_EQ(table.Drives().size(), 1u);
  EXPECT_EQ(table.Drives()[0].letter, 'c');
  EXPECT_EQ(table.Drives()[0].mountPoint, "/");
  EXPECT_EQ(table.ToPosixPath("c:\\etc"), "/etc");
}

TEST(LinuxDriveTable, LettersStopAtZ) {
  std::string text;
  for (int i = 0; i < 30; ++i) {
    text += std::to_string(100 + i) + " 1 8:" + std::to_string(i) + " / /mnt/d" +
            std::to_string(i) + " rw - ext4 /dev/sd" + std::to_string(i) + " rw\n";
  }
  const DriveTable table = DriveTable::FromMountInfo(text, SampleProbe, kNoTrees);
  ASSERT_EQ(table.Drives().size(), 24u);  // c: and d: to z:
  EXPECT_EQ(table.Drives().back().letter, 'z');
  // In the order of the mount points: d0, d1, d10 ... d19, d2, d20 ... d29.
  EXPECT_EQ(table.Drives().back().mountPoint, "/mnt/d29");
}

TEST(LinuxDriveTable, SystemTableHasRootAsDriveCAndNoPseudoFilesystems) {
  const DriveTable table = DriveTable::FromSystem();
  ASSERT_FALSE(table.Drives().empty());
  EXPECT_EQ(table.Drives()[0].letter, 'c');
  EXPECT_EQ(table.Drives()[0].mountPoint, "/");
  const std::set<std::string> pseudo = {"proc",   "sysfs",  "tmpfs",   "devtmpfs",
                                        "devpts", "cgroup", "cgroup2", "mqueue"};
  for (std::size_t i = 1; i < table.Drives().size(); ++i) {
    EXPECT_EQ(pseudo.count(table.Drives()[i].fsType), 0u) << table.Drives()[i].mountPoint;
    EXPECT_NE(table.Drives()[i].mountPoint, "/");
  }
}

class LinuxDrivePaths : public ::testing::Test {
 protected:
  DriveTable table_ = DriveTable(
      {Drive{'c', "/", "ext4"}, Drive{'d', "/mnt/x", "ext4"}, Drive{'e', "/mnt/x/inner", "vfat"}});
};

TEST_F(LinuxDrivePaths, DrivePathsMapBelowTheMountPoint) {
  EXPECT_EQ(table_.ToPosixPath("c:\\"), "/");
  EXPECT_EQ(table_.ToPosixPath("c:\\a\\b"), "/a/b");
  EXPECT_EQ(table_.ToPosixPath("d:\\"), "/mnt/x");
  EXPECT_EQ(table_.ToPosixPath("d:\\a"), "/mnt/x/a");
  // Either case of the letter; names keep their bytes.
  EXPECT_EQ(table_.ToPosixPath("D:\\A b\\\xff\xfe.tmp"), "/mnt/x/A b/\xff\xfe.tmp");
  EXPECT_EQ(table_.ToPosixPath("C:\\...\\.x"), "/.../.x");
}

TEST_F(LinuxDrivePaths, MalformedOrClimbingDrivePathsAreRejected) {
  for (std::string_view bad :
       {"", "c", "c:", "c:a", "c:/a", "q:\\", "1:\\a", "c:\\..", "c:\\a\\..\\..\\etc", "c:\\a\\.",
        "c:\\.\\a", "c:\\a\\\\b", "c:\\a\\", "c:\\a/b", "c:\\a/../../etc", "\\\\server\\share"}) {
    EXPECT_EQ(table_.ToPosixPath(bad), std::nullopt) << bad;
  }
  const std::string withNul("c:\\a\0b", 6);
  EXPECT_EQ(table_.ToPosixPath(withNul), std::nullopt);
}

TEST_F(LinuxDrivePaths, PosixPathsGoToTheLongestMountPoint) {
  EXPECT_EQ(table_.ToDrivePath("/"), "c:\\");
  EXPECT_EQ(table_.ToDrivePath("/mnt/x"), "d:\\");
  EXPECT_EQ(table_.ToDrivePath("/mnt/x/a"), "d:\\a");
  EXPECT_EQ(table_.ToDrivePath("/mnt/x/inner/a/b"), "e:\\a\\b");
  // Only whole names match a mount point.
  EXPECT_EQ(table_.ToDrivePath("/mnt/xy/a"), "c:\\mnt\\xy\\a");
  // A doubled "/" is one: this is /mnt/x/a, on the drive mounted there.
  EXPECT_EQ(table_.ToDrivePath("/mnt//x/a/"), "d:\\a");
  EXPECT_EQ(table_.ToDrivePath("relative/a"), std::nullopt);
  EXPECT_EQ(table_.ToDrivePath("/a\\b"), std::nullopt);
  EXPECT_EQ(table_.ToDrivePath("/mnt/x/../etc"), std::nullopt);
}

TEST_F(LinuxDrivePaths, PathsRoundTrip) {
  for (std::string_view drivePath :
       {"c:\\", "c:\\a", "d:\\\xe4\xb8\xad\xe6\x96\x87\\x.tmp", "e:\\\x80\xff", "c:\\a b\\ c "}) {
    const std::optional<std::string> posix = table_.ToPosixPath(drivePath);
    ASSERT_TRUE(posix.has_value()) << drivePath;
    EXPECT_EQ(table_.ToDrivePath(*posix), drivePath);
  }
}

// A mount of a system tree gets no letter wherever it is mounted: one whose
// root directory is a system tree's root (by identity, as the probe finds
// it), or whose root lies inside one (as the mount table says, on the same
// filesystem, a btrfs subvolume's path included).
TEST(LinuxDriveTable, MountsOfTheSystemTreesGetNoLetter) {
  struct Case {
    const char* root;  // the filesystem "/" is mounted from
    const char* line;  // one more mount
    bool lettered;
  };
  const std::vector<Case> cases = {
      {"/", "60 26 254:0 /usr/share /srv/share rw - ext4 /dev/vda rw", false},
      {"/", "60 26 254:0 /usr /srv/usrview rw - ext4 /dev/vda rw", false},
      {"/", "60 26 254:0 /etc /srv/etc rw - ext4 /dev/vda rw", false},
      {"/", "60 26 254:0 /usrlocal /srv/near rw - ext4 /dev/vda rw", true},
      {"/", "60 26 254:0 / /mnt/rootbind rw - ext4 /dev/vda rw", true},
      {"/", "60 26 8:1 /usr /mnt/other rw - ext4 /dev/sdb1 rw", true},
      {"/@", "60 26 254:0 /@/usr/lib /srv/lib rw - btrfs /dev/vda rw", false},
      {"/@", "60 26 254:0 /@home /home rw - btrfs /dev/vda rw", true},
      // Mounted from elsewhere, but its root directory is /usr itself.
      {"/", "60 26 254:0 /elsewhere /srv/probed rw - ext4 /dev/vda rw", false},
      // /var is the system's but for /var/tmp: a disk on /var shows the way
      // there, one on /var/tmp or a bind mount from inside it is the
      // user's, one on /var/log or from /var/cache is the system's.
      {"/", "60 26 8:1 / /var rw - ext4 /dev/sdb1 rw", true},
      {"/", "60 26 8:1 / /var/tmp rw - ext4 /dev/sdb1 rw", true},
      {"/", "60 26 254:0 /var/tmp/build /srv/build rw - ext4 /dev/vda rw", true},
      {"/", "60 26 254:0 /var /srv/varview rw - ext4 /dev/vda rw", true},
      {"/", "60 26 8:1 / /var/log rw - ext4 /dev/sdb1 rw", false},
      {"/", "60 26 254:0 /var/cache/apt /srv/apt rw - ext4 /dev/vda rw", false},
      {"/", "60 26 254:0 /var/tmpx /srv/tmpx rw - ext4 /dev/vda rw", false},
      // What a tool keeps is never a drive of its own: by the mount point
      // (a disk on node_modules, or below one) or by the mount's root (a
      // bind mount of site-packages or of a .git).
      {"/", "60 26 8:1 / /home/u/web/node_modules rw - ext4 /dev/sdb1 rw", false},
      {"/", "60 26 8:1 / /home/u/web/node_modules/big rw - ext4 /dev/sdb1 rw", false},
      {"/", "60 26 8:1 / /home/u/web/modules rw - ext4 /dev/sdb1 rw", true},
      {"/", "60 26 254:0 /home/u/venv/lib/python3/site-packages /mnt/sp rw - ext4 /dev/vda rw",
       false},
      {"/", "60 26 254:0 /home/u/proj/.git /srv/repo rw - ext4 /dev/vda rw", false},
      {"/", "60 26 8:1 /go/pkg/mod /mnt/modcache rw - ext4 /dev/sdb1 rw", false},
      {"/", "60 26 8:1 /lib/python3.12 /mnt/stdlib rw - ext4 /dev/sdb1 rw", false},
      {"/", "60 26 254:0 /home/u/proj /srv/proj rw - ext4 /dev/vda rw", true},
  };
  const SystemTrees trees({{"/usr", makedev(254, 0), 100, ""},
                           {"/etc", makedev(254, 0), 200, ""},
                           {"/var", makedev(254, 0), 300, "tmp"}});
  const auto probe = [](const std::string& path, bool) -> std::optional<MountIdentity> {
    MountIdentity identity;
    identity.directory = true;
    identity.mountId = 60;
    identity.device = makedev(254, 0);
    identity.inode = path == "/srv/probed" ? 100 : 7;
    return identity;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string text = std::string("26 1 254:0 ") + c.root + " / rw - " +
                             (c.root[1] == '@' ? "btrfs" : "ext4") + " /dev/vda rw\n" + c.line +
                             "\n";
    const DriveTable table = DriveTable::FromMountInfo(text, probe, trees);
    EXPECT_EQ(table.Drives().size(), c.lettered ? 2u : 1u);
  }
}

}  // namespace

namespace test {
namespace {

// Whether the kernel gives unique mount IDs (Linux 6.8).
bool HasUniqueMountIds() {
  struct statx stx {};
  return ::statx(AT_FDCWD, "/", 0, 0x4000U, &stx) == 0 && (stx.stx_mask & 0x4000U) != 0;
}

// What a command prints, without its newline; empty when it fails.
std::string Output(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  char buffer[256] = {};
  const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
  const int status = ::pclose(pipe);
  std::string text(buffer, n);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return status == 0 ? text : std::string();
}

// A scan of a stick, then the stick unmounted and another filesystem mounted
// from the same loop device at the same place: the old list deletes nothing
// there, each entry's drive not being ready. Byte-identical clones share
// every stamp and even the UUID, and the mount ID is given out again: the
// unique mount ID tells them apart. Where a kernel lacks unique IDs (the
// drive is made to look so), the filesystem's UUID does.
TEST(LinuxDriveTable, AnotherFilesystemInTheSamePlaceIsAnotherDrive) {
  struct Case {
    const char* name;
    bool newUuid;    // the second image gets a UUID of its own
    bool uniqueIds;  // the drive keeps its unique mount ID
  };
  for (const Case c : {Case{"clone, unique mount IDs", false, true},
                       Case{"another UUID, no unique mount IDs", true, false}}) {
    SCOPED_TRACE(c.name);
    TempTree tree;
    tree.MakeDir("stick");
    const auto setup = [&]() -> std::string {
      if (c.uniqueIds && !HasUniqueMountIds()) return "this kernel has no unique mount IDs";
      std::string error = PrivateMounts();
      if (error.empty()) error = MountExt4(tree.Path("one.img"), tree.Path("stick"));
      if (!error.empty()) return error;
      tree.MakeFiles({"stick/a.tmp", "stick/b.tmp", "stick/c.tmp"}, "1");
      if (::umount2(tree.Path("stick").c_str(), 0) != 0) return Errno("umount");
      std::string copy = "cp '" + tree.Path("one.img") + "' '" + tree.Path("two.img") + "'";
      if (c.newUuid) {
        copy += " && e2fsck -fy '" + tree.Path("two.img") +
                "' >/dev/null 2>&1 && tune2fs -U random '" + tree.Path("two.img") +
                "' >/dev/null 2>&1";
      }
      if (std::system(copy.c_str()) != 0) return "cannot copy the image or give it another UUID";
      return {};
    };
    const auto check = [&]() -> std::string {
      const std::string device = Output("losetup -f --show '" + tree.Path("one.img") + "'");
      if (device.empty()) return "cannot attach a loop device";
      if (::mount(device.c_str(), tree.Path("stick").c_str(), "ext4", 0, nullptr) != 0) {
        return Errno("mount");
      }
      const DriveTable before = DriveTable::FromSystem();
      const Drive* stick = nullptr;
      for (const Drive& d : before.Drives()) {
        if (d.mountPoint == tree.Path("stick")) stick = &d;
      }
      if (stick == nullptr) return "the stick got no letter";
      const std::string root = std::string(1, stick->letter) + ":\\";
      TriggerSysCalls sys;
      RealForm scanned(before, DriveListText(*stick), sys);
      ScanAndSelectAll(scanned);
      if (scanned.Results().size() != 3) return "scan listed " + Join(scanned.Results());
      scanned.platform.ReleaseHandles();

      if (::umount2(tree.Path("stick").c_str(), 0) != 0) return Errno("umount");
      const std::string swap =
          "losetup -d " + device + " && losetup " + device + " '" + tree.Path("two.img") + "'";
      if (std::system(swap.c_str()) != 0) return "cannot attach the other image to " + device;
      if (::mount(device.c_str(), tree.Path("stick").c_str(), "ext4", 0, nullptr) != 0) {
        return Errno("mount again");
      }
      Drive old = *stick;
      if (!c.uniqueIds) {
        // A kernel that gives no unique ID and the old mount ID again.
        const DriveTable after = DriveTable::FromSystem();
        for (const Drive& d : after.Drives()) {
          if (d.mountPoint != old.mountPoint) continue;
          if (d.filesystem == old.filesystem) return "the other image has the same identity";
          old.mountId = d.mountId;
        }
        old.uniqueMountId = 0;
      }
      RealForm form(DriveTable({before.Drives().front(), old}), DriveListText(old), sys);
      for (std::int64_t i = 0; i < scanned.List1.ListCount(); ++i) {
        form.List1.AddItem(scanned.List1.List(i), scanned.List1.Stamp(i));
      }
      form.SelectAllResults();
      DeleteConfirmed(form);
      if (FailureBoxes(form) != std::vector<std::string>(3, "发生错误71")) {
        return "boxes " + Join(FailureBoxes(form));
      }
      for (const char* name : {"stick/a.tmp", "stick/b.tmp", "stick/c.tmp"}) {
        if (!tree.Exists(name)) return std::string(name) + " was deleted on the other filesystem";
      }
      ::umount2(tree.Path("stick").c_str(), 0);
      [[maybe_unused]] const int detached = std::system(("losetup -d " + device).c_str());
      return {};
    };
    const ChildResult result = RunInChild(setup, check);
    if (result.skipped) GTEST_SKIP() << result.message;
    EXPECT_TRUE(result.ok) << result.message;
  }
}

}  // namespace
}  // namespace test
}  // namespace tidwen
