// The directory and file listers of the Linux platform on real trees, with
// openat2 and with the per-component walk used where openat2 is missing.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linux_test_support.h"
#include "model/runtime_error.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_tree.h"

namespace tidwen {
namespace {

using test::ErrorOf;
using test::Op;

std::vector<std::string> DirEntries(const DirListControl& dir) {
  std::vector<std::string> out;
  for (std::int64_t i = 0; i < dir.ListCount(); ++i) out.push_back(dir.List(i));
  return out;
}

std::vector<std::string> FileEntries(const FileListControl& files) {
  std::vector<std::string> out;
  for (std::int64_t i = 0; i < files.ListCount(); ++i) out.emplace_back(files.List(i));
  return out;
}

// Runs every test twice: with openat2, and with openat2 reported missing so
// that directories are opened one component at a time.
class LinuxListers : public test::TempDriveWalkTest {
 protected:
  DirListControl& dir1_ = platform_.Dir1();
  FileListControl& file1_ = platform_.File1();
};

INSTANTIATE_TEST_SUITE_P(, LinuxListers, ::testing::Bool(), test::WalkName);

TEST_P(LinuxListers, ListsSortedByNameBytes) {
  for (const char* name : {"b", "B", "a0", "a", "\xe4\xb8\xad", "Z", "~"}) {
    tree_.MakeDir(std::string("d") + name);
    tree_.MakeFile(std::string("f") + name, "x");
  }

  dir1_.SetPath("c:\\");
  file1_.SetPath(dir1_.Path());
  EXPECT_EQ(DirEntries(dir1_), (std::vector<std::string>{"c:\\dB", "c:\\dZ", "c:\\da", "c:\\da0",
                                                         "c:\\db", "c:\\d~", "c:\\d\xe4\xb8\xad"}));
  EXPECT_EQ(FileEntries(file1_),
            (std::vector<std::string>{"fB", "fZ", "fa", "fa0", "fb", "f~", "f\xe4\xb8\xad"}));
}

TEST_P(LinuxListers, ListsOnlyRealDirectoriesAndVisibleRegularFiles) {
  tree_.MakeDir("real");
  tree_.MakeDir(".hiddendir");
  tree_.MakeDir("outside");
  tree_.MakeFiles({"plain.tmp", ".hidden.tmp", "..double"}, "1");
  tree_.MakeSymlink("dirlink", tree_.Path("real"));
  tree_.MakeSymlink("filelink.tmp", tree_.Path("plain.tmp"));
  tree_.MakeSymlink("dangling.tmp", tree_.Path("nothing"));
  tree_.MakeFifo("fifo.tmp");
  tree_.MakeSocket("sock.tmp");
  tree_.MakeDir("back\\slash");
  tree_.MakeFile("back\\slash.tmp", "1");

  dir1_.SetPath("c:\\");
  file1_.SetPath("c:\\");
  EXPECT_EQ(DirEntries(dir1_),
            (std::vector<std::string>{"c:\\.hiddendir", "c:\\outside", "c:\\real"}));
  EXPECT_EQ(FileEntries(file1_), (std::vector<std::string>{"plain.tmp"}));

  // Filesystems that report no entry types give the same lists.
  sys_.HideEntryTypes(true);
  dir1_.SetPath("c:\\");
  file1_.SetPath("c:\\");
  EXPECT_EQ(DirEntries(dir1_),
            (std::vector<std::string>{"c:\\.hiddendir", "c:\\outside", "c:\\real"}));
  EXPECT_EQ(FileEntries(file1_), (std::vector<std::string>{"plain.tmp"}));
}

TEST_P(LinuxListers, NeverEntersALinkAndKeepsTheOldDirectory) {
  tree_.MakeFile("real/sub/x.tmp", "1");
  tree_.MakeSymlink("link", tree_.Path("real"));
  tree_.MakeSymlink("up", "..");
  tree_.MakeSymlink("inside", "real");  // relative, and stays within the drive

  dir1_.SetPath("c:\\real");
  file1_.SetPath("c:\\real\\sub");
  EXPECT_EQ(ErrorOf([&] { dir1_.SetPath("c:\\link"); }), kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { dir1_.SetPath("c:\\link\\sub"); }), kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { file1_.SetPath("c:\\up\\real"); }), kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { file1_.SetPath("c:\\inside\\sub"); }), kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { dir1_.SetPath("c:\\inside"); }), kPathFileAccess);
  EXPECT_EQ(dir1_.Path(), "c:\\real");
  EXPECT_EQ(DirEntries(dir1_), (std::vector<std::string>{"c:\\real\\sub"}));
  EXPECT_EQ(FileEntries(file1_), (std::vector<std::string>{"x.tmp"}));
}

TEST_P(LinuxListers, OtherDrivesTrailingBackslashesAndMissingDrivesFail) {
  for (std::string_view bad : {"x:\\", "c:\\a\\"}) {
    EXPECT_EQ(ErrorOf([&] { dir1_.SetPath(bad); }), kBadFileName) << bad;
  }
  LinuxPlatform gone(DriveTable({Drive{'c', tree_.Path("no-such-mount"), ""}}), sys_);
  EXPECT_EQ(ErrorOf([&] { gone.Dir1().SetPath("c:\\"); }), kDiskNotReady);
  EXPECT_EQ(gone.Dir1().Path(), "");
  EXPECT_EQ(gone.Dir1().ListCount(), 0);
}

TEST_P(LinuxListers, OneReadServesBothListers) {
  tree_.MakeFile("a/x.tmp");
  sys_.ResetCounts();

  // Each read of a small directory is one getdents64 with entries and one
  // that says the end.
  dir1_.SetPath("c:\\a");
  EXPECT_EQ(sys_.Count(Op::kGetDents), 2);
  file1_.SetPath(dir1_.Path());
  EXPECT_EQ(sys_.Count(Op::kGetDents), 2);
  EXPECT_EQ(FileEntries(file1_), (std::vector<std::string>{"x.tmp"}));

  // Asking again for a directory both listers have had reads it afresh.
  file1_.SetPath("c:\\a");
  EXPECT_EQ(sys_.Count(Op::kGetDents), 4);
  dir1_.SetPath("c:\\a");
  EXPECT_EQ(sys_.Count(Op::kGetDents), 4);
}

TEST_P(LinuxListers, WalkKeepsFewDescriptorsOpen) {
  for (int i = 0; i < 20; ++i) tree_.MakeFile("d" + std::to_string(i) + "/x.tmp");
  dir1_.SetPath("c:\\");
  file1_.SetPath("c:\\");
  const std::vector<std::string> dirs = DirEntries(dir1_);
  for (const std::string& d : dirs) {
    dir1_.SetPath(d);
    file1_.SetPath(dir1_.Path());
  }
  // Each lister's directory, one spare listing and the drive's mount point.
  EXPECT_LE(sys_.OpenFds().size(), 4u);
}

TEST_P(LinuxListers, ReadFailingPartWayFailsTheWholeRead) {
  tree_.MakeFile("a/x.tmp");
  tree_.MakeFile("b/y.tmp");
  dir1_.SetPath("c:\\a");
  file1_.SetPath("c:\\a");
  // The first getdents64 of the next read succeeds, the second fails.
  sys_.Fail(Op::kGetDents, EIO, "", 1);
  EXPECT_EQ(ErrorOf([&] { file1_.SetPath("c:\\b"); }), kDeviceIo);
  EXPECT_EQ(file1_.Path(), "c:\\a");
  EXPECT_EQ(FileEntries(file1_), (std::vector<std::string>{"x.tmp"}));
}

TEST_P(LinuxListers, NonUtf8NamesRoundTripToFileLength) {
  const std::string odd = "\xff\xfe\x80 odd.tmp";
  const std::string latin1 = "caf\xe9.tmp";
  tree_.MakeFile("dir\x81/" + odd, "12345");
  tree_.MakeFile("dir\x81/" + latin1, "12");
  dir1_.SetPath("c:\\");
  ASSERT_EQ(DirEntries(dir1_), (std::vector<std::string>{"c:\\dir\x81"}));
  dir1_.SetPath(dir1_.List(0));
  file1_.SetPath(dir1_.Path());
  ASSERT_EQ(FileEntries(file1_), (std::vector<std::string>{latin1, odd}));
  EXPECT_EQ(platform_.FileLength().FileLen(dir1_.Path() + "\\" + std::string(file1_.List(0))), 2);
  EXPECT_EQ(platform_.FileLength().FileLen(dir1_.Path() + "\\" + std::string(file1_.List(1))), 5);
}

// Makes a chain of directories below root deeper than PATH_MAX, relative to
// open directories (a full path that long cannot be used), with a file at the
// bottom. Returns the chain's drive path.
std::string MakeDeepChain(const std::string& root, std::string* posixBottom = nullptr) {
  const std::string name(200, 'd');
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::string drivePath = "c:";
  std::string posix = root;
  for (int i = 0; i < 25; ++i) {  // 25 * 201 bytes, past PATH_MAX (4096)
    if (::mkdirat(fd, name.c_str(), 0755) != 0) throw std::runtime_error("mkdirat");
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = next;
    drivePath += "\\" + name;
    posix += "/" + name;
  }
  const int file = ::openat(fd, "deep.tmp", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (::write(file, "abc", 3) != 3) throw std::runtime_error("write");
  ::close(file);
  ::close(fd);
  if (posixBottom != nullptr) *posixBottom = posix;
  return drivePath;
}

TEST_P(LinuxListers, PathsDeeperThanPathMaxWork) {
  const std::string deep = MakeDeepChain(tree_.Root());
  ASSERT_GT(deep.size(), 4096u);
  dir1_.SetPath(deep);
  file1_.SetPath(dir1_.Path());
  EXPECT_EQ(FileEntries(file1_), (std::vector<std::string>{"deep.tmp"}));
  EXPECT_EQ(platform_.FileLength().FileLen(deep + "\\deep.tmp"), 3);

  // Away from the listers the length is found through the long path too.
  dir1_.SetPath("c:\\");
  file1_.SetPath("c:\\");
  EXPECT_EQ(platform_.FileLength().FileLen(deep + "\\deep.tmp"), 3);
  EXPECT_EQ(ErrorOf([&] { platform_.FileLength().FileLen(deep + "\\none.tmp"); }), kFileNotFound);
}

TEST(LinuxListersFallback, MissingOpenAt2SwitchesToTheComponentWalk) {
  test::TempTree tree;
  tree.MakeFile("a/b/x.tmp");
  test::ScriptedSysCalls sys;
  sys.Fail(Op::kOpenAt2, ENOSYS);
  LinuxPlatform platform(DriveTable({Drive{'c', tree.Root(), ""}}), sys);
  platform.Dir1().SetPath("c:\\a\\b");
  platform.File1().SetPath("c:\\a\\b");
  EXPECT_EQ(platform.File1().ListCount(), 1);
  const int openAt2Calls = sys.Count(Op::kOpenAt2);
  platform.Dir1().SetPath("c:\\a");
  // Once found missing, openat2 is not tried again.
  EXPECT_EQ(sys.Count(Op::kOpenAt2), openAt2Calls);
}

// Listing refused by the file system: checked as an unprivileged user, since
// root passes every permission check.
TEST(LinuxListersAccess, UnreadableDirectoryIsRefusedWith70) {
  test::TempTree tree;
  tree.Chmod("", 0755);
  tree.MakeFile("locked/x.tmp", "1");
  tree.Chmod("locked", 0700);
  tree.MakeFile("open/y.tmp", "1");

  const test::ChildResult result = test::RunInChild(test::BecomeNobody, [&]() -> std::string {
    LinuxPlatform platform(DriveTable({Drive{'c', tree.Root(), ""}}));
    platform.File1().SetPath("c:\\open");
    const int number = ErrorOf([&] { platform.File1().SetPath("c:\\locked"); });
    if (number != kPermissionDenied) return "got " + std::to_string(number);
    if (platform.File1().Path() != "c:\\open") return "lister lost its directory";
    return {};
  });
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

// Mount points inside the drive are left out and never entered: checked in a
// private mount namespace of a child, so nothing leaks to the machine.
TEST(LinuxListersMounts, MountPointsAreNotListedOrEntered) {
  test::TempTree tree;
  tree.MakeFile("plain/x.tmp");
  tree.MakeFile("source/s.tmp");
  tree.MakeDir("tmpfs");
  tree.MakeDir("bind");

  const auto setup = [&]() -> std::string {
    if (::unshare(CLONE_NEWNS) != 0) {
      return std::string("no private mount namespace: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return std::string("cannot make mounts private: ") + std::strerror(errno);
    }
    if (::mount("tidwen-test", tree.Path("tmpfs").c_str(), "tmpfs", 0, "size=64k") != 0) {
      return std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
    if (::mount(tree.Path("source").c_str(), tree.Path("bind").c_str(), nullptr, MS_BIND,
                nullptr) != 0) {
      return std::string("cannot bind-mount: ") + std::strerror(errno);
    }
    return {};
  };
  const auto check = [&](bool perComponent) -> std::string {
    test::ScriptedSysCalls sys;
    if (perComponent) sys.Fail(Op::kOpenAt2, ENOSYS);
    LinuxPlatform platform(DriveTable({Drive{'c', tree.Root(), ""}}), sys);
    platform.Dir1().SetPath("c:\\");
    const std::vector<std::string> dirs = DirEntries(platform.Dir1());
    if (dirs != std::vector<std::string>{"c:\\plain", "c:\\source"}) {
      std::string got;
      for (const std::string& d : dirs) got += d + " ";
      return "listed: " + got;
    }
    for (const char* mounted : {"c:\\tmpfs", "c:\\bind"}) {
      const int number = ErrorOf([&] { platform.Dir1().SetPath(mounted); });
      if (number != kPathFileAccess) {
        return std::string(mounted) + " entered, number " + std::to_string(number);
      }
    }
    return {};
  };
  for (bool perComponent : {false, true}) {
    const test::ChildResult result = test::RunInChild(setup, [&] { return check(perComponent); });
    if (result.skipped) GTEST_SKIP() << result.message;
    EXPECT_TRUE(result.ok) << (perComponent ? "per component: " : "openat2: ") << result.message;
  }
}

}  // namespace
}  // namespace tidwen
