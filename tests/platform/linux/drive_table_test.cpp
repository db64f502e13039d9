// The drive table: letters from a mount table, and the mapping between drive
// paths and POSIX paths.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <optional>
#include <set>
#include <string>

#include "platform/linux/drive_table.h"
#include "support/temp_tree.h"

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

// Every mount point in the sample but the file bind mount is a directory,
// and its root reports the device the table gives.
std::optional<std::uint64_t> SampleProbe(const std::string& path, std::uint64_t) {
  if (path == "/etc/hostname") return std::nullopt;
  return 0;
}

std::vector<std::string> Texts(const DriveTable& table) {
  std::vector<std::string> texts;
  // As the drive list words them: the letter, then the mount point.
  for (const Drive& d : table.Drives()) texts.push_back(std::string{d.letter} + ": [" + d.mountPoint + "]");
  return texts;
}

TEST(LinuxDriveTable, LettersGoToStorageMountsInMountPointOrder) {
  const DriveTable table = DriveTable::FromMountInfo(kMountInfo, SampleProbe);
  // /mnt/usb is covered by a tmpfs: what shows there holds nothing on
  // storage. /mnt/cd is a tmpfs covered by a disc, which counts. /boot lies
  // in the system's own trees.
  const std::vector<std::string> expected = {
      "c: [/]",          "d: [/data]",        "e: [/home]",
      "f: [/home/u/remote]", "g: [/mnt/cd]",  "h: [/mnt/my disk]",
      "i: [/mnt/weird\\name]", "j: [/srv/share]"};
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
  const DriveTable first = DriveTable::FromMountInfo(before, SampleProbe);
  EXPECT_EQ(Texts(first), (std::vector<std::string>{"c: [/]", "d: [/media/u/alpha]",
                                                     "e: [/media/u/mid]", "f: [/media/u/zeta]"}));
  // alpha is unplugged and another stick is mounted; mid is unmounted and
  // mounted again at once, a new mount at the same place.
  const std::string after =
      "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
      "50 26 8:1 / /media/u/zeta rw - vfat /dev/sdb1 rw\n"
      "53 26 8:49 / /media/u/beta rw - vfat /dev/sde1 rw\n"
      "54 26 8:33 / /media/u/mid rw - ext4 /dev/sdd1 rw\n";
  const DriveTable second = DriveTable::FromMountInfo(after, SampleProbe, &first);
  EXPECT_EQ(Texts(second), (std::vector<std::string>{"c: [/]", "d: [/media/u/beta]",
                                                      "e: [/media/u/mid]", "f: [/media/u/zeta]"}));
  EXPECT_EQ(second.Find('d')->mountId, 53u);
  EXPECT_EQ(second.Find('e')->mountId, 54u);
  // Read afresh, letters follow the mount points again.
  EXPECT_EQ(Texts(DriveTable::FromMountInfo(after, SampleProbe)),
            (std::vector<std::string>{"c: [/]", "d: [/media/u/beta]", "e: [/media/u/mid]",
                                      "f: [/media/u/zeta]"}));
}

TEST(LinuxDriveTable, RootIsDriveCEvenWithoutMountTable) {
  const DriveTable table = DriveTable::FromMountInfo("", SampleProbe);
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
  const DriveTable table = DriveTable::FromMountInfo(text, SampleProbe);
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
  const std::set<std::string> pseudo = {"proc", "sysfs", "tmpfs", "devtmpfs", "devpts",
                                        "cgroup", "cgroup2", "mqueue"};
  for (std::size_t i = 1; i < table.Drives().size(); ++i) {
    EXPECT_EQ(pseudo.count(table.Drives()[i].fsType), 0u) << table.Drives()[i].mountPoint;
    EXPECT_NE(table.Drives()[i].mountPoint, "/");
  }
}

class LinuxDrivePaths : public ::testing::Test {
 protected:
  DriveTable table_ = DriveTable({Drive{'c', "/", "ext4"}, Drive{'d', "/mnt/x", "ext4"},
                                  Drive{'e', "/mnt/x/inner", "vfat"}});
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
       {"", "c", "c:", "c:a", "c:/a", "q:\\", "1:\\a", "c:\\..", "c:\\a\\..\\..\\etc",
        "c:\\a\\.", "c:\\.\\a", "c:\\a\\\\b", "c:\\a\\", "c:\\a/b", "c:\\a/../../etc",
        "\\\\server\\share"}) {
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

TEST(LinuxDriveTable, TemporaryDirectoryAsDriveC) {
  test::TempTree tree;
  const DriveTable table({Drive{'c', tree.Root(), ""}});
  EXPECT_EQ(table.ToPosixPath("c:\\"), tree.Root());
  EXPECT_EQ(table.ToPosixPath("C:\\x\\y"), tree.Path("x/y"));
  EXPECT_EQ(table.ToDrivePath(tree.Path("x/y")), "c:\\x\\y");
  EXPECT_EQ(table.ToDrivePath("/elsewhere"), std::nullopt);
  EXPECT_EQ(table.ToPosixPath("d:\\x"), std::nullopt);
}

}  // namespace
}  // namespace tidwen
