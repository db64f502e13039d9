// What the Windows build keeps out of what Wine shows of the Unix system:
// the Unix system's trees and running state on every drive that reaches
// them, whatever way leads there, bind mounts included; and, on Windows
// too, a drive whose root is a tree that is never offered. The mount
// table's reading is checked on written tables, so it runs everywhere.
#include "platform/windows/win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/windows/unix_mounts.h"
#include "platform/windows/windows_platform.h"
#include "win_test_support.h"

namespace tidwen {
namespace {

using test::WinTempTree;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

TEST(UnixMountsTest, APathLiesOnTheMountShownThereAndInItsFileSystemWhereThatMountsRootIs) {
  // The namespace's root first: a child's parent need not come before it.
  const UnixMounts mounts = UnixMounts::Parse(
      "22 27 0:21 / /proc rw - proc proc rw\n"
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "24 27 0:6 / /dev rw - devtmpfs devtmpfs rw\n"
      "25 24 0:23 / /dev/shm rw - tmpfs tmpfs rw\n"
      "30 25 0:27 / /dev/shm rw - tmpfs tmpfs rw\n"  // mounted over the one before
      "40 27 254:0 /work/p/drive_c/windows /tmp/w rw shared:1 - ext4 /dev/vda rw\n"
      "41 27 0:40 / /mnt/a\\040b rw - ext4 /dev/vdb rw\n"
      "42 41 0:41 / /mnt/a\\040b/c rw - ext4 /dev/vdc rw\n"
      "43 27 0:42 / /mnt rw - tmpfs tmpfs rw\n"  // hides what was mounted below it
      "not a line\n");
  ASSERT_EQ(mounts.All().size(), 9u);
  struct Row {
    const char* path;
    std::uint64_t device;  // 0: no mount holds it
    const char* inFileSystem;
  };
  const Row rows[] = {
      {"/", 254ULL << 32, "/"},
      {"/home/u", 254ULL << 32, "/home/u"},
      {"/proc/1", 21, "/1"},
      {"/dev", 6, "/"},
      {"/dev/shm/x", 27, "/x"},
      {"/devices", 254ULL << 32, "/devices"},
      {"/tmp/w/temp", 254ULL << 32, "/work/p/drive_c/windows/temp"},
      {"/mnt/a b/c", 42, "/a b/c"},
  };
  for (const Row& row : rows) {
    const std::optional<UnixMounts::Place> place = mounts.PlaceOf(row.path);
    ASSERT_TRUE(place) << row.path;
    EXPECT_EQ(place->device, row.device) << row.path;
    EXPECT_EQ(place->path, row.inFileSystem) << row.path;
  }
  // Hidden: the mount under another at the same place, and those below
  // /mnt, with what is mounted on them.
  EXPECT_EQ(mounts.All()[6].point, "/mnt/a b");
  for (std::size_t hidden : {3, 6, 7}) EXPECT_FALSE(mounts.Visible(mounts.All()[hidden]));
  for (std::size_t shown : {0, 1, 2, 4, 5, 8}) EXPECT_TRUE(mounts.Visible(mounts.All()[shown]));
  EXPECT_FALSE(UnixMounts::Parse("27 1 254:0 / / rw - ext4 /dev/vda rw\n").PlaceOf("rel"));
}

class WineKeptOutTest : public ::testing::Test {
 protected:
  struct Listed {
    std::vector<std::string> dirs;  // last names, in lower case, sorted
    std::size_t files = 0;
  };
  Listed List(const std::string& path) {
    Listed out;
    platform_.Dir1().SetPath(path);
    platform_.File1().SetPath(path);
    for (std::int64_t i = 0; i < platform_.Dir1().ListCount(); ++i) {
      const std::string dir = platform_.Dir1().List(i);
      out.dirs.push_back(Lower(dir.substr(dir.rfind('\\') + 1)));
    }
    std::sort(out.dirs.begin(), out.dirs.end());
    out.files = static_cast<std::size_t>(platform_.File1().ListCount());
    return out;
  }
  static bool Has(const Listed& listed, const std::string& name) {
    return std::find(listed.dirs.begin(), listed.dirs.end(), name) != listed.dirs.end();
  }
  // The drive letter of Wine's drive of the Unix root, or 0.
  static char UnixRoot() { return test::UnixPathOf("z:\\") == "/" ? 'z' : 0; }

  WindowsPlatform platform_{WinDriveList(std::vector<WinDrive>{})};
};

TEST_F(WineKeptOutTest, TheDriveOfTheUnixRootShowsNeitherTheSystemsTreesNorItsRunningState) {
  if (!UnixRoot()) GTEST_SKIP() << "not under Wine with Z: as the Unix root";
  const Listed root = List("z:\\");
  for (const char* kept : {"usr", "etc", "boot", "opt", "bin", "sbin", "lib", "lib32", "lib64",
                           "libx32", "snap", "proc", "sys", "dev", "run"}) {
    EXPECT_FALSE(Has(root, kept)) << kept;
  }
  EXPECT_TRUE(Has(root, "var"));
  EXPECT_TRUE(Has(root, "tmp"));
  // /var is the way to /var/tmp alone; a kept tree reached directly shows
  // nothing.
  const Listed var = List("z:\\var");
  EXPECT_EQ(var.dirs, std::vector<std::string>{"tmp"});
  EXPECT_EQ(var.files, 0u);
  for (const char* kept : {"z:\\usr", "z:\\etc", "z:\\run"}) {
    const Listed listed = List(kept);
    EXPECT_TRUE(listed.dirs.empty() && listed.files == 0) << kept;
  }
}

// A drive letter for a kept folder, or for a folder in one, lists nothing,
// or the folder's passage alone.
TEST_F(WineKeptOutTest, ADriveForAKeptFolderOrAFolderInOneShowsNoMoreThanItsPassage) {
  if (!UnixRoot()) GTEST_SKIP() << "not under Wine with Z: as the Unix root";
  std::string windows(MAX_PATH, '\0');
  windows.resize(GetWindowsDirectoryA(windows.data(), MAX_PATH));
  struct Row {
    char letter;
    std::string folder;
    std::vector<std::string> dirs;
  };
  const std::vector<Row> rows = {
      {'m', "z:\\usr", {}}, {'n', "z:\\usr\\share", {}}, {'o', "z:\\var", {"tmp"}},
      {'r', "z:\\run", {}}, {'s', windows, {"temp"}},    {'t', windows + "\\system32", {}},
  };
  // All at once: Wine learns its drives again once a second at most, so a
  // drive just removed may still stand for its folder.
  std::vector<std::unique_ptr<test::DriveFor>> drives;
  for (const Row& row : rows) {
    drives.push_back(std::make_unique<test::DriveFor>(row.letter, row.folder));
    if (!drives.back()->Why().empty()) GTEST_SKIP() << drives.back()->Why();
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Listed listed = List(drives[i]->Root());
    EXPECT_EQ(listed.dirs, rows[i].dirs) << rows[i].folder;
    EXPECT_EQ(listed.files, 0u) << rows[i].folder;
  }
}

// As a tree reached by its name lists nothing, so does one reached as a
// drive's root, or a folder in it: a subst drive (or under Wine a drive
// letter) for a project's node_modules or a repository's .git.
TEST_F(WineKeptOutTest, ADriveWhoseRootIsInANeverOfferedTreeListsNothing) {
  WinTempTree tree;
  for (const char* dir :
       {"proj", "proj\\node_modules", "proj\\node_modules\\pkg", "proj\\.git", "proj\\src"}) {
    tree.Dir(dir);
  }
  for (const char* file : {"proj\\a.tmp", "proj\\node_modules\\b.tmp",
                           "proj\\node_modules\\pkg\\c.tmp", "proj\\.git\\index.lock"}) {
    tree.File(file);
  }
  struct Row {
    char letter;
    const char* folder;
    std::vector<std::string> dirs;
    std::size_t files;
  };
  const Row rows[] = {
      {'g', "proj\\node_modules", {}, 0},
      {'h', "proj\\node_modules\\pkg", {}, 0},
      {'i', "proj\\.git", {}, 0},
      {'j', "proj", {"src"}, 1},  // the project itself is the user's
  };
  std::vector<std::unique_ptr<test::DriveFor>> drives;
  for (const Row& row : rows) {
    drives.push_back(std::make_unique<test::DriveFor>(row.letter, tree.Path(row.folder)));
    if (!drives.back()->Why().empty()) GTEST_SKIP() << drives.back()->Why();
  }
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Listed listed = List(drives[i]->Root());
    EXPECT_EQ(listed.dirs, rows[i].dirs) << rows[i].folder;
    EXPECT_EQ(listed.files, rows[i].files) << rows[i].folder;
  }
}

// What Unix mounts show is kept out as what they show is kept out through
// its own path: the Windows folder and its drive bound elsewhere, /etc and
// /var bound elsewhere, a part of /usr, a proc file system of its own. The
// mounts are real, made in a private mount namespace by
// cmake/wine-namespace-run.sh, which ctest runs as WinMountNamespace;
// outside it this test says it is skipped.
class WinMountNamespace : public WineKeptOutTest {
 protected:
  void SetUp() override {
    wchar_t mounts[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"TIDWEN_TEST_MOUNTS", mounts, 1024);
    if (length == 0 || length >= 1024) {
      GTEST_SKIP() << "needs the mounts that cmake/wine-namespace-run.sh makes (ctest's "
                      "WinMountNamespace)";
    }
    if (!UnixRoot()) GTEST_SKIP() << "no Z: drive for the Unix root";
    std::string unix = test::Narrow(std::wstring_view(mounts, length));
    std::replace(unix.begin(), unix.end(), '/', '\\');
    mounts_ = "z:" + unix;
  }
  std::string mounts_;
};

TEST_F(WinMountNamespace, WhatAMountShowsIsKeptOutAsThroughItsOwnPath) {
  struct Row {
    std::string folder;
    std::vector<std::string> dirs;
    std::size_t files;
  };
  const Row rows[] = {
      // /etc, a part of /usr and a proc file system are not listed; /var is,
      // as the way to its tmp.
      {mounts_, {"user", "var"}, 0},
      {mounts_ + "\\var", {"tmp"}, 0},
      {mounts_ + "\\user", {}, 1},
      // The Windows folder is listed as the way to its Temp folder alone,
      // and Program Files and ProgramData not at all, wherever they show.
      {"c:\\bound-windows", {"temp"}, 0},
      {"c:\\users\\bound-drive", {"bound-windows", "users", "windows"}, 0},
      {"c:\\users\\bound-drive\\windows", {"temp"}, 0},
  };
  for (const Row& row : rows) {
    const Listed listed = List(row.folder);
    EXPECT_EQ(listed.dirs, row.dirs) << row.folder;
    EXPECT_EQ(listed.files, row.files) << row.folder;
  }
}

}  // namespace
}  // namespace tidwen
