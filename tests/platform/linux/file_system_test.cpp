// Deleting files through the Linux platform's file-system objects on real
// trees: never forced, never through a link, and only the file that was seen.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "linux_test_support.h"
#include "model/runtime_error.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_tree.h"

namespace tidwen {
namespace {

using test::ErrorOf;
using test::Op;

// Runs with openat2 and with the per-component walk.
class LinuxDelete : public test::TempDriveWalkTest {
 protected:
  // Deletes path as the cleaner does: a new file-system object, look-up,
  // delete. Returns 0 or the error number.
  int Delete(std::string_view path, const FileStamp& expected = {}) {
    return ErrorOf([&] {
      std::unique_ptr<FileSystemObject> fso = platform_.FileSystem().CreateFileSystemObject();
      fso->GetFile(path, expected)->Delete();
    });
  }

  FileStamp StampOf(std::string_view relative) const {
    struct stat st {};
    EXPECT_EQ(::lstat(tree_.Path(relative).c_str(), &st), 0);
    return FileStamp{st.st_dev, st.st_ino, st.st_size == 0, true};
  }
};

INSTANTIATE_TEST_SUITE_P(, LinuxDelete, ::testing::Bool(), test::WalkName);

TEST_P(LinuxDelete, OneWriteBitIsEnoughAndNothingStaysOpen) {
  tree_.MakeFile("a/b/owner-only.tmp", "1", 0600);
  EXPECT_EQ(Delete("c:\\a\\b\\owner-only.tmp"), 0);
  EXPECT_TRUE(sys_.OpenFds().empty());
}

TEST_P(LinuxDelete, ImmutableFileIsRefused) {
  tree_.MakeFile("locked.tmp", "1");
  if (!tree_.SetImmutable("locked.tmp", true)) {
    GTEST_SKIP() << "this filesystem or user cannot set the immutable flag";
  }
  EXPECT_EQ(Delete("c:\\locked.tmp"), kPermissionDenied);
  EXPECT_TRUE(tree_.SetImmutable("locked.tmp", false));
  EXPECT_TRUE(tree_.Exists("locked.tmp"));
}

TEST_P(LinuxDelete, RefusedForAnUnprivilegedUser) {
  tree_.Chmod("", 0755);
  tree_.MakeFile("rootdir/x.tmp", "1", 0666);  // the directory is root's, mode 0755
  const bool perComponent = GetParam();
  const test::ChildResult result = test::RunInChild(test::BecomeNobody, [&]() -> std::string {
    test::ScriptedSysCalls sys;
    if (perComponent) sys.Fail(Op::kOpenAt2, ENOSYS);
    LinuxPlatform platform(DriveTable({Drive{'c', tree_.Root(), ""}}), sys);
    const int number = ErrorOf([&] {
      platform.FileSystem().CreateFileSystemObject()->GetFile("c:\\rootdir\\x.tmp", {})->Delete();
    });
    return number == kPermissionDenied ? "" : "got " + std::to_string(number);
  });
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
  EXPECT_TRUE(tree_.Exists("rootdir/x.tmp"));
}

TEST_P(LinuxDelete, FileGoneBetweenTheLookUpAndTheDeletionIs53) {
  tree_.MakeFile("x.tmp", "1");
  std::unique_ptr<FileSystemObject> fso = platform_.FileSystem().CreateFileSystemObject();
  std::unique_ptr<FileObject> file = fso->GetFile("c:\\x.tmp", {});
  tree_.Remove("x.tmp");
  EXPECT_EQ(ErrorOf([&] { file->Delete(); }), kFileNotFound);
}

TEST_P(LinuxDelete, LinksAndSpecialFilesAreNotDeleted) {
  tree_.MakeFile("target.tmp", "1");
  tree_.MakeSymlink("link.tmp", tree_.Path("target.tmp"));
  tree_.MakeFifo("fifo.tmp");
  for (const char* path : {"c:\\link.tmp", "c:\\fifo.tmp"}) {
    EXPECT_EQ(Delete(path), kFileNotFound) << path;
  }
  EXPECT_TRUE(tree_.Exists("link.tmp"));
  EXPECT_TRUE(tree_.Exists("target.tmp"));
  EXPECT_TRUE(tree_.Exists("fifo.tmp"));
}

TEST_P(LinuxDelete, DirectoryReplacedByALinkDeletesNothing) {
  tree_.MakeFile("scanned/victim.tmp", "1");
  tree_.MakeFile("outside/victim.tmp", "precious");
  const FileStamp seen = StampOf("scanned/victim.tmp");
  tree_.Remove("scanned");
  tree_.MakeSymlink("scanned", tree_.Path("outside"));
  EXPECT_EQ(Delete("c:\\scanned\\victim.tmp"), kFileNotFound);
  EXPECT_EQ(Delete("c:\\scanned\\victim.tmp", seen), kFileNotFound);
  // A relative link that stays within the drive is refused as well.
  tree_.Remove("scanned");
  tree_.MakeSymlink("scanned", "outside");
  EXPECT_EQ(Delete("c:\\scanned\\victim.tmp"), kFileNotFound);
  EXPECT_EQ(tree_.ReadFile("outside/victim.tmp"), "precious");
}

TEST_P(LinuxDelete, NonUtf8NameIsDeletedExactly) {
  const std::string name = "\xff\xfe\x80.tmp";
  tree_.MakeFile("d/" + name, "1");
  tree_.MakeFile("d/\xff\xfe\x81.tmp", "1");
  tree_.MakeFile("d/\xc3\xbf\xfe\x80.tmp", "1");  // the name as Latin-1 read into UTF-8
  EXPECT_EQ(Delete("c:\\d\\" + name), 0);
  EXPECT_FALSE(tree_.Exists("d/" + name));
  EXPECT_TRUE(tree_.Exists("d/\xff\xfe\x81.tmp"));
  EXPECT_TRUE(tree_.Exists("d/\xc3\xbf\xfe\x80.tmp"));
}

TEST_P(LinuxDelete, BatchKeepsOneDirectoryOpenAcrossItsFiles) {
  for (int i = 0; i < 5; ++i) {
    tree_.MakeFile("a/" + std::to_string(i) + ".tmp", "1");
    tree_.MakeFile("b/" + std::to_string(i) + ".tmp", "1");
  }
  tree_.MakeFile("r.tmp", "1");
  tree_.MakeFile("a/keep.tmp", "1");
  const std::vector<std::string> order = {"c:\\a\\0.tmp", "c:\\a\\1.tmp", "c:\\b\\0.tmp",
                                          "c:\\b\\1.tmp", "c:\\b\\2.tmp", "c:\\a\\2.tmp",
                                          "c:\\r.tmp",    "c:\\a\\3.tmp", "c:\\a\\4.tmp",
                                          "c:\\b\\3.tmp", "c:\\b\\4.tmp"};
  sys_.ResetCounts();
  {
    DeletionBatch batch(platform_.FileSystem());
    for (const std::string& path : order) EXPECT_EQ(Delete(path), 0) << path;
    // A failure in the middle leaves the batch working.
    EXPECT_EQ(Delete("c:\\a\\missing.tmp"), kFileNotFound);
    EXPECT_FALSE(sys_.OpenFds().empty());
  }
  EXPECT_TRUE(sys_.OpenFds().empty());
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(tree_.Exists("a/" + std::to_string(i) + ".tmp"));
    EXPECT_FALSE(tree_.Exists("b/" + std::to_string(i) + ".tmp"));
  }
  EXPECT_FALSE(tree_.Exists("r.tmp"));
  EXPECT_TRUE(tree_.Exists("a/keep.tmp"));
  // Each file is opened, moved aside, looked at under the name it was moved
  // to and unlinked; the missing one fails to open.
  const int files = static_cast<int>(order.size());
  EXPECT_EQ(sys_.Count(Op::kUnlinkAt), files);
  EXPECT_EQ(sys_.Count(Op::kRenameAt2), files);
  EXPECT_EQ(sys_.Count(Op::kFStatAt), files);
  if (!GetParam()) {
    // One mount point, then one open per change of directory: a b a r a b a;
    // openat opens only the files.
    EXPECT_EQ(sys_.Count(Op::kOpenAt), files + 1);
    EXPECT_EQ(sys_.Count(Op::kOpenAt2), 1 + 7 + 1);  // and the first call's probe
  }
}

TEST_P(LinuxDelete, BatchDoesNotFollowALinkMadeBetweenDirectories) {
  tree_.MakeFile("a/x.tmp", "1");
  tree_.MakeFile("b/y.tmp", "1");
  tree_.MakeFile("outside/y.tmp", "precious");
  DeletionBatch batch(platform_.FileSystem());
  EXPECT_EQ(Delete("c:\\a\\x.tmp"), 0);
  tree_.Remove("b");
  tree_.MakeSymlink("b", "outside");
  EXPECT_EQ(Delete("c:\\b\\y.tmp"), kFileNotFound);
  EXPECT_EQ(tree_.ReadFile("outside/y.tmp"), "precious");
}

TEST_P(LinuxDelete, BatchFollowsADirectoryReplacedSinceItWasOpened) {
  tree_.MakeFile("a/x.tmp", "1");
  tree_.MakeFile("a/y.tmp", "old");
  DeletionBatch batch(platform_.FileSystem());
  EXPECT_EQ(Delete("c:\\a\\x.tmp"), 0);
  // Another program moves the directory away and makes a new one.
  ASSERT_EQ(std::rename(tree_.Path("a").c_str(), tree_.Path("a.old").c_str()), 0);
  tree_.MakeFile("a/z.tmp", "new");
  EXPECT_EQ(Delete("c:\\a\\z.tmp"), 0);
  EXPECT_FALSE(tree_.Exists("a/z.tmp"));
  EXPECT_EQ(tree_.ReadFile("a.old/y.tmp"), "old");
}

TEST_P(LinuxDelete, SystemFailuresOfTheDeletionKeepTheirNumbers) {
  tree_.MakeFile("x.tmp", "1");
  const struct {
    int err;
    int number;
  } cases[] = {{EBUSY, kFileBusy},           {EIO, kDeviceIo},           {EROFS, kPermissionDenied},
               {ETXTBSY, kPermissionDenied}, {EPERM, kPermissionDenied}, {ENOENT, kFileNotFound},
               {ENOSPC, kInternalError}};
  for (const auto& c : cases) {
    sys_.ClearFaults();
    if (GetParam()) sys_.Fail(Op::kOpenAt2, ENOSYS);
    sys_.Fail(Op::kUnlinkAt, c.err);
    EXPECT_EQ(Delete("c:\\x.tmp"), c.number) << std::strerror(c.err);
    EXPECT_TRUE(tree_.Exists("x.tmp"));
  }
}

TEST_P(LinuxDelete, DriveWhoseMountPointIsGoneIs71AndNoDescriptorLeftIs67) {
  LinuxPlatform gone(DriveTable({Drive{'c', tree_.Path("no-such-mount"), ""}}), sys_);
  EXPECT_EQ(ErrorOf([&] {
              gone.FileSystem().CreateFileSystemObject()->GetFile("c:\\x.tmp", {})->Delete();
            }),
            kDiskNotReady);
  // A drive that is there, when the process or the system has no
  // descriptor left to open it with.
  tree_.MakeFile("x.tmp", "1");
  for (const int err : {EMFILE, ENFILE}) {
    sys_.ClearFaults();
    sys_.Fail(Op::kOpenAt2, GetParam() ? ENOSYS : err);
    sys_.Fail(Op::kOpenAt, err);
    EXPECT_EQ(Delete("c:\\x.tmp"), kTooManyFiles) << std::strerror(err);
    EXPECT_EQ(ErrorOf([&] { platform_.FileLength().FileLen("c:\\x.tmp"); }), kTooManyFiles);
    EXPECT_EQ(ErrorOf([&] { platform_.Dir1().SetPath("c:\\"); }), kTooManyFiles);
  }
  EXPECT_TRUE(tree_.Exists("x.tmp"));
}

TEST_P(LinuxDelete, ATrailingBackslashIs52) {
  tree_.MakeFile("x.tmp", "1");
  EXPECT_EQ(Delete("c:\\x.tmp\\"), kBadFileName);
  EXPECT_TRUE(tree_.Exists("x.tmp"));
}

}  // namespace
}  // namespace tidwen
