// Nasty trees built for real: paths longer than PATH_MAX, names no one
// expects, link loops, FIFOs named like junk, a directory of a hundred
// thousand entries, and other filesystems mounted inside the drive. The scan
// must get through each of them and the deletion must remove exactly what
// was listed.
#include <fcntl.h>
#include <linux/magic.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fault_support.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class HardeningTrees : public HardeningTest {};
INSTANTIATE_TEST_SUITE_P(, HardeningTrees, ::testing::Bool(), WalkName);

TEST_P(HardeningTrees, PathsSeveralTimesLongerThanPathMaxAreWalkedAndCleaned) {
  // 40 levels of 250-byte names: the bottom lies more than 10000 bytes deep.
  // Made relative to open directories, since a path that long cannot be used
  // whole; junk every ten levels and at the bottom.
  const std::string name(250, 'd');
  std::vector<std::string> expected;
  std::vector<std::string> posixFiles;
  int fd = ::open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::string drivePath = "c:";
  for (int level = 1; level <= 40; ++level) {
    ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    ASSERT_GE(next, 0);
    fd = next;
    drivePath += "\\" + name;
    if (level % 10 == 0 || level == 1) {
      const int file = ::openat(fd, "j.tmp", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      ASSERT_EQ(::write(file, "1", 1), 1);
      ::close(file);
      expected.push_back(drivePath + "\\j.tmp");
    }
  }
  ::close(fd);
  ASSERT_GT(expected.back().size(), 2u * 4096u);

  ScanAndSelectAll(form);
  EXPECT_THAT(form.Results(), ElementsAreArray(expected));
  EXPECT_EQ(form.List3.ListCount(), 40);

  DeleteConfirmed(form);
  EXPECT_THAT(FailureBoxes(form), IsEmpty());
  EXPECT_THAT(form.Results(), IsEmpty());
  EXPECT_EQ(form.Label1.Caption(), "还剩下 0个垃圾文件");
  // Nothing is left to find.
  Command1_Click(form.context);
  EXPECT_EQ(form.Label1.Caption(), "共找到 0个垃圾文件");
}

TEST_P(HardeningTrees, AwkwardNamesAreListedByTheirBytesAndDeletedExactly) {
  // Junk, whatever else the name holds.
  const std::vector<std::string> junk = {
      "new\nline.tmp",
      "-rf.tmp",
      "--help.bak",
      std::string(251, 'L') + ".tmp",  // 255 bytes, the longest name there is
      "\xff\xfe.tmp",                  // invalid UTF-8
      "\xc0\xaf.old",                  // an overlong "/", which must stay bytes
      "*.tmp",
      "?.tmp",
      "a*b?[c].chk",
      "c:x.tmp",
      " .tmp",
      "\t.gid",
      "~",
      "$",
      "X.TMP",
      "%s%n%x.tmp",
      "\x1b[31mred.tmp",
      "\x7f.wbk",
      "\xe4\xb8\xad\xe6\x96\x87.tmp",
  };
  // Not junk, or not listed at all.
  const std::vector<std::string> kept = {
      "-", std::string(255, 'k'), "x.Tmp", "x.tmp ", "back\\slash.tmp", ".hidden.tmp",
  };
  for (const std::string& n : junk) tree.MakeFile(n, "1");
  for (const std::string& n : kept) tree.MakeFile(n, "1");
  // Directories with names as odd, each holding junk; one whose name holds
  // "\" cannot be written as a drive path and is not walked.
  const std::vector<std::string> dirs = {"\xc0\xae\xc0\xae", "c:", "-d", std::string(255, 'D'),
                                         "new\nline"};
  for (const std::string& d : dirs) tree.MakeFile(d + "/in.tmp", "1");
  tree.MakeFile("d\\e/in.tmp", "1");

  std::vector<std::string> expected;
  for (const std::string& n : junk) expected.push_back("c:\\" + n);
  std::sort(expected.begin(), expected.end());  // by bytes, as the lister gives them
  std::vector<std::string> sortedDirs = dirs;
  std::sort(sortedDirs.begin(), sortedDirs.end());
  for (const std::string& d : sortedDirs) expected.push_back("c:\\" + d + "\\in.tmp");

  ScanAndSelectAll(form);
  EXPECT_THAT(form.Results(), ElementsAreArray(expected));
  EXPECT_EQ(form.List3.ListCount(), static_cast<std::int64_t>(dirs.size()));

  DeleteConfirmed(form);
  EXPECT_THAT(FailureBoxes(form), IsEmpty());
  EXPECT_THAT(form.Results(), IsEmpty());
  for (const std::string& n : junk) EXPECT_FALSE(tree.Exists(n)) << n;
  for (const std::string& d : dirs) EXPECT_FALSE(tree.Exists(d + "/in.tmp")) << d;
  for (const std::string& n : kept) EXPECT_EQ(tree.ReadFile(n), "1") << n;
  EXPECT_EQ(tree.ReadFile("d\\e/in.tmp"), "1");
}

TEST_P(HardeningTrees, LinkLoopsAndDanglingLinksEndTheScanAndAreNeverListed) {
  tree.MakeFile("real/x.tmp", "1");
  tree.MakeSymlink("real/self", ".");
  tree.MakeSymlink("real/up", "..");
  tree.MakeSymlink("real/machine", "/");
  tree.MakeSymlink("loop1", "loop2");
  tree.MakeSymlink("loop2", "loop1");
  tree.MakeSymlink("loop.tmp", "loop.tmp");
  tree.MakeSymlink("dangling.tmp", "nowhere.tmp");
  tree.MakeSymlink("passwd.bak", "/etc/passwd");
  for (const bool hiddenTypes : {false, true}) {
    SCOPED_TRACE(hiddenTypes ? "no entry types" : "entry types");
    RescanWatched(form, sys, hiddenTypes, "scan of a tree with link loops");
    EXPECT_THAT(form.Results(), ElementsAre("c:\\real\\x.tmp"));
    EXPECT_THAT(form.List3.Items().Count(), 1);
  }
}

TEST_P(HardeningTrees, FifosAndDevicesNamedLikeJunkAreNeverListedOrOpened) {
  tree.MakeFifo("x.tmp");
  tree.MakeFifo("d/y.$$$");
  tree.MakeSocket("d/s.tmp");
  // A character device like /dev/zero, where this user may make one.
  const bool device = ::mknod(tree.Path("d/zero.tmp").c_str(), S_IFCHR | 0644, makedev(1, 5)) == 0;
  RecordProperty("device_node", device ? "made" : "not allowed here");
  tree.MakeFiles({"d/a.tmp", "d/b.tmp", "d/z.tmp"}, "1");
  // And one that takes the place of a listed file before the walk tests it.
  sys.When(Op::kFStatAt, "a.tmp", [&] {
    tree.Remove("d/b.tmp");
    tree.MakeFifo("d/b.tmp");
  });
  for (const bool hiddenTypes : {false, true}) {
    SCOPED_TRACE(hiddenTypes ? "no entry types" : "entry types");
    RescanWatched(form, sys, hiddenTypes, "scan of a tree holding FIFOs and devices");
    EXPECT_THAT(form.Results(), ElementsAre("c:\\d\\a.tmp", "c:\\d\\z.tmp"));
  }
}

// Makes a TempTree in memory (/dev/shm) where the machine has it: creating a
// hundred thousand files there takes a fraction of the time it takes on disk,
// and the walk and the deletion run the same code either way.
std::unique_ptr<TempTree> MakeTreeInMemory() {
  struct statfs fs {};
  const char* const previous = std::getenv("TMPDIR");
  const std::string saved = previous != nullptr ? previous : "";
  const bool inMemory =
      ::statfs("/dev/shm", &fs) == 0 && fs.f_type == TMPFS_MAGIC && ::access("/dev/shm", W_OK) == 0;
  if (inMemory) ::setenv("TMPDIR", "/dev/shm", 1);
  auto tree = std::make_unique<TempTree>();
  if (inMemory) {
    if (previous != nullptr) {
      ::setenv("TMPDIR", saved.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  return tree;
}

TEST(HardeningHugeDirectory, HundredThousandEntriesAreListedWholeInOrderAndCleaned) {
  constexpr int kEntries = 100000;
  const std::unique_ptr<TempTree> made = MakeTreeInMemory();
  TempTree& tree = *made;
  tree.MakeDir("big");
  const int dirFd = ::open(tree.Path("big").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirFd, 0);
  // Made in an order unlike the name order; one in a hundred is a
  // directory, one in a hundred hidden, the rest empty files.
  std::vector<std::string> files;
  std::vector<std::string> subdirs;
  for (int i = 0; i < kEntries; ++i) {
    const int k = static_cast<int>((static_cast<long long>(i) * 7919) % kEntries);
    char name[32];
    if (k % 100 == 0) {
      std::snprintf(name, sizeof name, "d%05d", k);
      ASSERT_EQ(::mkdirat(dirFd, name, 0755), 0);
      subdirs.push_back("c:\\big\\" + std::string(name));
      continue;
    }
    if (k % 100 == 1) {
      std::snprintf(name, sizeof name, ".h%05d", k);
    } else {
      // Three shapes of name, so that the order is by bytes, not by number.
      static const char* const kShapes[] = {"f%05d.tmp", "\xe4\xb8\xad%05d", "F%05d"};
      std::snprintf(name, sizeof name, kShapes[k % 3], k);
      files.push_back("c:\\big\\" + std::string(name));
    }
    const int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << name;
    ::close(fd);
  }
  ::close(dirFd);
  std::sort(files.begin(), files.end());
  std::sort(subdirs.begin(), subdirs.end());

  RealForm form(tree);
  const auto start = std::chrono::steady_clock::now();
  ScanAndSelectAll(form);
  const auto scanned = std::chrono::steady_clock::now();
  // Every empty file is listed once, in the lister's byte order.
  ASSERT_EQ(form.List1.ListCount(), static_cast<std::int64_t>(files.size()));
  EXPECT_TRUE(form.Results() == files) << "the listed files differ from the tree's";
  std::vector<std::string> queued;
  for (std::int64_t i = 0; i < form.List3.ListCount(); ++i) queued.emplace_back(form.List3.List(i));
  subdirs.insert(subdirs.begin(), "c:\\big");
  EXPECT_EQ(queued, subdirs);
  EXPECT_EQ(form.Label1.Caption(), "共找到 " + std::to_string(files.size()) + "个垃圾文件");

  DeleteConfirmed(form);
  const auto deleted = std::chrono::steady_clock::now();
  EXPECT_EQ(form.BoxTexts().front(), "确实要删除这" + std::to_string(files.size()) + "项吗？");
  EXPECT_THAT(FailureBoxes(form), IsEmpty());
  EXPECT_EQ(form.List1.ListCount(), 0);
  EXPECT_EQ(form.Label1.Caption(), "还剩下 0个垃圾文件");
  // Only the hidden files and the directories are left.
  EXPECT_EQ(tree.Names("big").size(), static_cast<std::size_t>(kEntries) / 50);
  using Ms = std::chrono::milliseconds;
  RecordProperty("scan_ms",
                 static_cast<int>(std::chrono::duration_cast<Ms>(scanned - start).count()));
  RecordProperty("delete_ms",
                 static_cast<int>(std::chrono::duration_cast<Ms>(deleted - scanned).count()));
}

// Mounts are made in a private mount namespace of a child process, so that
// nothing of them reaches the machine; the child reports what went wrong.
class HardeningMounts : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(, HardeningMounts, ::testing::Bool(), WalkName);

std::string Mount(const char* source, const std::string& target, const char* type,
                  unsigned long flags) {
  if (::mount(source, target.c_str(), type, flags, type != nullptr ? "size=64k" : nullptr) != 0) {
    return "cannot mount on " + target + ": " + std::strerror(errno);
  }
  return {};
}

TEST_P(HardeningMounts, MountsInsideTheDriveAreNeverEnteredOrCleaned) {
  TempTree tree;
  TempTree outside;
  outside.MakeFile("o.tmp", "1");
  outside.MakeFile("secret.tmp", "secret");
  tree.MakeFiles({"plain/x.tmp", "src/s.tmp", "src/s2.tmp", "fb.tmp"}, "1");
  for (const char* d : {"bindin", "bindout", "tmpfs", "deep/er/tmpfs", "zlate", "blind"}) {
    tree.MakeDir(d);
  }
  tree.MakeFile("zlate/l.tmp", "1");

  const auto setup = [&]() -> std::string {
    if (::unshare(CLONE_NEWNS) != 0) {
      return std::string("no private mount namespace here: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return std::string("cannot make mounts private: ") + std::strerror(errno);
    }
    std::string error;
    if (error.empty())
      error = Mount(tree.Path("src").c_str(), tree.Path("bindin"), nullptr, MS_BIND);
    if (error.empty())
      error = Mount(outside.Root().c_str(), tree.Path("bindout"), nullptr, MS_BIND);
    if (error.empty()) error = Mount("tidwen-test", tree.Path("tmpfs"), "tmpfs", 0);
    if (error.empty()) error = Mount("tidwen-test", tree.Path("deep/er/tmpfs"), "tmpfs", 0);
    if (error.empty()) error = Mount("tidwen-test", tree.Path("blind"), "tmpfs", 0);
    if (error.empty()) {
      error = Mount(outside.Path("secret.tmp").c_str(), tree.Path("fb.tmp"), nullptr, MS_BIND);
    }
    if (!error.empty()) return error;
    tree.MakeFiles({"tmpfs/t.tmp", "deep/er/tmpfs/t.tmp", "blind/b.tmp"}, "1");
    return {};
  };

  const bool perComponent = GetParam();
  const auto check = [&]() -> std::string {
    TriggerSysCalls sys;
    if (perComponent) sys.Fail(Op::kOpenAt2, ENOSYS);
    // The reader cannot tell that "blind" is a mount point: the open that
    // would enter it must still refuse.
    sys.Fail(Op::kStatX, EIO, "blind");
    // "zlate" is queued, then mounted over before the walk reaches it.
    std::string lateError;
    sys.When(Op::kFStatAt, "x.tmp", [&] {
      lateError = Mount("tidwen-test", tree.Path("zlate"), "tmpfs", 0);
      if (lateError.empty()) tree.MakeFile("zlate/m.tmp", "1");
    });
    RealForm form(tree, sys);
    ScanAndSelectAll(form);
    // A file bind-mounted over a listed name is measured where it stands,
    // but never reached through a directory of another mount.
    const std::vector<std::string> expected = {"c:\\fb.tmp", "c:\\plain\\x.tmp", "c:\\src\\s.tmp",
                                               "c:\\src\\s2.tmp"};
    if (!lateError.empty()) return lateError;
    if (form.Results() != expected) return "listed " + Join(form.Results());
    // Mount points the reader can tell are not even queued.
    for (std::int64_t i = 0; i < form.List3.ListCount(); ++i) {
      const std::string queued(form.List3.List(i));
      for (const char* mounted :
           {"c:\\bindin", "c:\\bindout", "c:\\tmpfs", "c:\\deep\\er\\tmpfs"}) {
        if (queued == mounted) return "queued " + queued;
      }
    }

    // After the scan a filesystem is mounted over a listed file's directory,
    // and a file of another device over a listed file.
    if (std::string e = Mount("tidwen-test", tree.Path("plain"), "tmpfs", 0); !e.empty()) return e;
    tree.MakeFile("plain/x.tmp", "other filesystem");
    if (std::string e =
            Mount(tree.Path("blind/b.tmp").c_str(), tree.Path("src/s2.tmp"), nullptr, MS_BIND);
        !e.empty()) {
      return e;
    }
    DeleteConfirmed(form);
    const std::vector<std::string> boxes = FailureBoxes(form);
    // From the last entry: another device's file now stands at s2.tmp; s.tmp
    // goes; x.tmp lies across a mount now; the bind-mounted file cannot be
    // unlinked.
    if (boxes !=
        std::vector<std::string>{"不能删除文件c:\\src\\s2.tmp", "发生错误75", "发生错误72"}) {
      return "boxes " + Join(boxes);
    }
    if (tree.Exists("src/s.tmp")) return "s.tmp was not deleted";
    if (tree.ReadFile("blind/b.tmp") != "1") return "the other device's file was touched";
    if (tree.ReadFile("plain/x.tmp") != "other filesystem") return "the mounted x.tmp was touched";
    if (outside.ReadFile("secret.tmp") != "secret") return "the bind-mounted file was touched";
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
  EXPECT_TRUE(outside.Exists("o.tmp"));
  EXPECT_EQ(outside.ReadFile("secret.tmp"), "secret");
}

}  // namespace
}  // namespace tidwen::test
