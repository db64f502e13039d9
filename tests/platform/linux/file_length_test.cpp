// File lengths from the Linux platform on real trees.
#include <gtest/gtest.h>

#include <string>

#include "linux_test_support.h"
#include "model/runtime_error.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_tree.h"

namespace tidwen {
namespace {

using test::ErrorOf;
using test::Op;

class LinuxFileLength : public test::TempDriveTest<> {
 protected:
  FileLengthService& length_ = platform_.FileLength();
};

TEST_F(LinuxFileLength, FileOfTheListedDirectoryIsMeasuredRelativeToIt) {
  tree_.MakeFile("a/b/x.tmp", "hello");
  platform_.Dir1().SetPath("c:\\a\\b");
  platform_.File1().SetPath("c:\\a\\b");
  sys_.ResetCounts();
  EXPECT_EQ(length_.FileLen("c:\\a\\b\\x.tmp"), 5);
  // One look at the name, no path resolved.
  EXPECT_EQ(sys_.Count(Op::kFStatAt), 1);
  EXPECT_EQ(sys_.Count(Op::kOpenAt) + sys_.Count(Op::kOpenAt2), 0);
  // The drive letter's case does not matter.
  EXPECT_EQ(length_.FileLen("C:\\a\\b\\x.tmp"), 5);
  EXPECT_EQ(sys_.Count(Op::kOpenAt) + sys_.Count(Op::kOpenAt2), 0);
}

TEST_F(LinuxFileLength, OtherFilesAreReachedFromTheMountPoint) {
  tree_.MakeFile("x.tmp", "12");
  tree_.MakeFile("a/b/y.tmp", "1234");
  platform_.File1().SetPath("c:\\a");
  sys_.ResetCounts();
  EXPECT_EQ(length_.FileLen("c:\\x.tmp"), 2);
  EXPECT_EQ(length_.FileLen("c:\\a\\b\\y.tmp"), 4);
  EXPECT_GT(sys_.Count(Op::kOpenAt) + sys_.Count(Op::kOpenAt2), 0);
  // Nothing stays open from it.
  EXPECT_EQ(sys_.Count(Op::kClose), sys_.Count(Op::kOpenAt) + sys_.Count(Op::kOpenAt2));
}

TEST_F(LinuxFileLength, LinksAndSpecialFilesAre53) {
  tree_.MakeFile("real.tmp", "1");
  tree_.MakeFifo("fifo.tmp");
  tree_.MakeSymlink("link.tmp", tree_.Path("real.tmp"));
  tree_.MakeFile("a/x.tmp", "1");
  for (bool listed : {false, true}) {
    if (listed) platform_.File1().SetPath("c:\\");
    for (const char* path : {"c:\\fifo.tmp", "c:\\link.tmp"}) {
      EXPECT_EQ(ErrorOf([&] { length_.FileLen(path); }), kFileNotFound)
          << path << (listed ? " listed" : "");
    }
  }
  // A directory on the way that has become a link.
  platform_.File1().SetPath("c:\\a");
  tree_.Remove("a");
  tree_.MakeDir("elsewhere");
  tree_.MakeFile("elsewhere/x.tmp", "1");
  tree_.MakeSymlink("a", "elsewhere");
  platform_.File1().SetPath("c:\\");
  EXPECT_EQ(ErrorOf([&] { length_.FileLen("c:\\a\\x.tmp"); }), kFileNotFound);
  // A trailing backslash makes no file name at all.
  EXPECT_EQ(ErrorOf([&] { length_.FileLen("c:\\real.tmp\\"); }), kBadFileName);
}

TEST_F(LinuxFileLength, SystemFailuresKeepTheirNumbers) {
  tree_.MakeFile("x.tmp", "1");
  platform_.File1().SetPath("c:\\");
  sys_.Fail(Op::kFStatAt, EIO, "x.tmp");
  EXPECT_EQ(ErrorOf([&] { length_.FileLen("c:\\x.tmp"); }), kDeviceIo);
  sys_.ClearFaults();
  sys_.Fail(Op::kFStatAt, EACCES, "x.tmp");
  EXPECT_EQ(ErrorOf([&] { length_.FileLen("c:\\x.tmp"); }), kPermissionDenied);
}

}  // namespace
}  // namespace tidwen
