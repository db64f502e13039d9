// What only the Windows listers and file length do, on real temporary
// directories: attributes, reparse points, the system drive's root, stamps.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/runtime_error.h"
#include "platform/windows/file_stamp_win.h"
#include "platform/windows/windows_platform.h"
#include "support/error_of.h"
#include "win_test_support.h"

namespace tidwen {
namespace {

using test::ErrorOf;
using test::MakeDirectoryLink;
using test::WinTempTree;

std::vector<std::string> DirNames(DirListControl& dirs) {
  std::vector<std::string> names;
  for (std::int64_t i = 0; i < dirs.ListCount(); ++i) names.push_back(dirs.List(i));
  return names;
}

std::vector<std::string> FileNames(FileListControl& files) {
  std::vector<std::string> names;
  for (std::int64_t i = 0; i < files.ListCount(); ++i) names.emplace_back(files.List(i));
  return names;
}

class WinListersTest : public ::testing::Test {
 protected:
  WindowsPlatform platform_{WinDriveList(std::vector<WinDrive>{})};
  WinTempTree tree_;
};

TEST_F(WinListersTest, TheSystemDrivesRootHasOneBackslash) {
  const std::string root = tree_.Root().substr(0, 3);  // "c:\"
  platform_.Dir1().SetPath(root);
  EXPECT_EQ(platform_.Dir1().Path(), root);
  for (const std::string& sub : DirNames(platform_.Dir1())) {
    EXPECT_EQ(sub.rfind(root, 0), 0u) << sub;
    EXPECT_EQ(sub.find('\\', 3), std::string::npos) << "one backslash after the root: " << sub;
  }
}

TEST_F(WinListersTest, SystemFilesAreLeftOutButSystemDirectoriesAreListed) {
  struct Row {
    const char* name;
    DWORD attributes;
    bool listed;
  };
  const std::vector<Row> rows = {
      {"system.tmp", FILE_ATTRIBUTE_SYSTEM, false},
      {"both.tmp", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, false},
      {"readonly.tmp", FILE_ATTRIBUTE_READONLY, true},
      {"archive.tmp", FILE_ATTRIBUTE_ARCHIVE, true},
  };
  for (const Row& row : rows) {
    tree_.File(row.name);
    if (!tree_.SetAttributes(row.name, row.attributes)) {
      GTEST_SKIP() << "the file system does not keep attribute " << row.attributes
                   << " (Wine keeps DOS attributes in extended attributes)";
    }
  }
  tree_.Dir("systemdir");
  ASSERT_TRUE(tree_.SetAttributes("systemdir", FILE_ATTRIBUTE_SYSTEM));

  platform_.Dir1().SetPath(tree_.Root());
  platform_.File1().SetPath(tree_.Root());
  const std::vector<std::string> files = FileNames(platform_.File1());
  for (const Row& row : rows) {
    const bool listed = std::find(files.begin(), files.end(), row.name) != files.end();
    EXPECT_EQ(listed, row.listed) << row.name;
  }
  EXPECT_EQ(DirNames(platform_.Dir1()), std::vector<std::string>{tree_.Path("systemdir")});
}

TEST_F(WinListersTest, DotNamesFollowTheHiddenAttributeTheSystemReports) {
  tree_.File(".dotfile");
  tree_.File("plain");
  const bool hidden = (tree_.Attributes(".dotfile") & FILE_ATTRIBUTE_HIDDEN) != 0;
  platform_.File1().SetPath(tree_.Root());
  const std::vector<std::string> files = FileNames(platform_.File1());
  EXPECT_EQ(std::count(files.begin(), files.end(), ".dotfile"), hidden ? 0 : 1)
      << "hidden attribute reported: " << hidden;
  EXPECT_EQ(std::count(files.begin(), files.end(), "plain"), 1);
}

TEST_F(WinListersTest, ReparsePointsAreNeverListedSoALoopIsNotWalked) {
  tree_.Dir("real");
  tree_.File("real\\x.tmp");
  test::UnixLinks unix;
  const std::string why = MakeDirectoryLink(tree_, "real\\loop", "", &unix);
  if (!why.empty()) GTEST_SKIP() << "no directory link can be made here: " << why;
  tree_.Dir("other");
  ASSERT_EQ(MakeDirectoryLink(tree_, "tolink", "other", &unix), "");

  platform_.Dir1().SetPath(tree_.Path("real"));
  EXPECT_EQ(platform_.Dir1().ListCount(), 0);
  platform_.File1().SetPath(tree_.Path("real"));
  EXPECT_EQ(FileNames(platform_.File1()), std::vector<std::string>{"x.tmp"});
  platform_.Dir1().SetPath(tree_.Root());
  std::vector<std::string> dirs = DirNames(platform_.Dir1());
  std::sort(dirs.begin(), dirs.end());
  EXPECT_EQ(dirs, (std::vector<std::string>{tree_.Path("other"), tree_.Path("real")}));
  // Asked for directly, a link is not listed through either.
  EXPECT_EQ(ErrorOf([&] { platform_.Dir1().SetPath(tree_.Path("tolink")); }), kPathFileAccess);
}

TEST_F(WinListersTest, TheStampIsTheFilesIndexAndBirthTimeVersion) {
  tree_.File("a.tmp", "aaa");
  FileLengthService& length = platform_.FileLength();
  length.FileLen(tree_.Path("a.tmp"));
  const FileStamp a = length.LastStamp();
  HANDLE h = CreateFileW(tree_.Long("a.tmp").c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(GetFileInformationByHandle(h, &info));
  CloseHandle(h);
  EXPECT_EQ(a.identity, StampIdentity::kBirthTime);
  EXPECT_NE(a.inode, 0u);
  EXPECT_EQ(a.version, StampVersion(3, FileTimeToUnixNs(FileTimeValue(info.ftLastWriteTime)),
                                    StampIdentity::kBirthTime, FileTimeValue(info.ftCreationTime)));
  // Another name of the same file is the same file.
  if (CreateHardLinkW(tree_.Long("a-link.tmp").c_str(), tree_.Long("a.tmp").c_str(), nullptr)) {
    length.FileLen(tree_.Path("a-link.tmp"));
    EXPECT_EQ(length.LastStamp(), a);
  } else {
    ADD_FAILURE() << "no hard link: " << GetLastError();
  }
}

TEST(WinDriveListTest, TheSystemsDrivesAreListedWithRootAndText) {
  const WinDriveList drives = WinDriveList::FromSystem();
  ASSERT_FALSE(drives.Drives().empty());
  const WinDrive* c = drives.Find('C');
  ASSERT_NE(c, nullptr) << "no c: drive";
  for (const WinDrive& drive : drives.Drives()) {
    EXPECT_GE(drive.letter, 'a');
    EXPECT_LE(drive.letter, 'z');
    EXPECT_EQ(drive.root, (std::string{drive.letter, ':', '\\'}));
    EXPECT_EQ(drive.label.find('\0'), std::string::npos);
  }
  EXPECT_EQ(drives.Find('q') == nullptr, GetDriveTypeW(L"Q:\\") == DRIVE_NO_ROOT_DIR);
}

}  // namespace
}  // namespace tidwen
