// The Windows listers and file length on real temporary directories.
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
using test::RawListing;
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

TEST_F(WinListersTest, DirectoriesAndFilesComeApartInTheSystemsOrder) {
  for (const char* d : {"sub1", "Zeta", "alpha", "m.dir"}) tree_.Dir(d);
  for (const char* f : {"b.tmp", "A.log", "c", "z.bak", "\xe5\x9e\x83\xe5\x9c\xbe.tmp"}) tree_.File(f);
  tree_.File("sub1\\inner.tmp");

  platform_.Dir1().SetPath(tree_.Root());
  platform_.File1().SetPath(platform_.Dir1().Path());

  std::vector<std::string> wantDirs, wantFiles;
  for (const test::RawEntry& e : RawListing(tree_.Long(""))) {
    if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      wantDirs.push_back(tree_.Path(e.name));
    } else {
      wantFiles.push_back(e.name);
    }
  }
  EXPECT_EQ(DirNames(platform_.Dir1()), wantDirs);
  EXPECT_EQ(FileNames(platform_.File1()), wantFiles);
  EXPECT_EQ(wantDirs.size(), 4u);
  EXPECT_EQ(wantFiles.size(), 5u);
  EXPECT_EQ(platform_.Dir1().Path(), tree_.Root());
  EXPECT_EQ(platform_.File1().Path(), tree_.Root());
}

TEST_F(WinListersTest, PathsTakeTheLowerCaseLetterAndNoTrailingBackslashBelowTheRoot) {
  tree_.Dir("a");
  std::string upper = tree_.Root() + "\\";
  upper[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[0])));
  platform_.Dir1().SetPath(upper);
  EXPECT_EQ(platform_.Dir1().Path(), tree_.Root());
  ASSERT_EQ(platform_.Dir1().ListCount(), 1);
  EXPECT_EQ(platform_.Dir1().List(0), tree_.Path("a"));

  const std::string root = tree_.Root().substr(0, 3);  // "c:\"
  platform_.Dir1().SetPath(root);
  EXPECT_EQ(platform_.Dir1().Path(), root);
  for (const std::string& sub : DirNames(platform_.Dir1())) {
    EXPECT_EQ(sub.rfind(root, 0), 0u) << sub;
    EXPECT_EQ(sub.find('\\', 3), std::string::npos) << "one backslash after the root: " << sub;
  }
}

TEST_F(WinListersTest, HiddenAndSystemFilesAreLeftOutButSuchDirectoriesAreListed) {
  struct Row {
    const char* name;
    DWORD attributes;
    bool listed;
  };
  const std::vector<Row> rows = {
      {"hidden.tmp", FILE_ATTRIBUTE_HIDDEN, false},
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
  tree_.Dir("hiddendir");
  ASSERT_TRUE(tree_.SetAttributes("hiddendir", FILE_ATTRIBUTE_HIDDEN));
  tree_.Dir("systemdir");
  ASSERT_TRUE(tree_.SetAttributes("systemdir", FILE_ATTRIBUTE_SYSTEM));

  platform_.Dir1().SetPath(tree_.Root());
  platform_.File1().SetPath(tree_.Root());
  const std::vector<std::string> files = FileNames(platform_.File1());
  for (const Row& row : rows) {
    const bool listed = std::find(files.begin(), files.end(), row.name) != files.end();
    EXPECT_EQ(listed, row.listed) << row.name;
  }
  std::vector<std::string> dirs = DirNames(platform_.Dir1());
  std::sort(dirs.begin(), dirs.end());
  EXPECT_EQ(dirs, (std::vector<std::string>{tree_.Path("hiddendir"), tree_.Path("systemdir")}));
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
  const std::string why = MakeDirectoryLink(tree_, "real\\loop", "");
  if (!why.empty()) GTEST_SKIP() << "no directory link can be made here: " << why;
  tree_.Dir("other");
  ASSERT_EQ(MakeDirectoryLink(tree_, "tolink", "other"), "");

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

TEST_F(WinListersTest, AFailedListingRaisesItsNumberAndKeepsTheOldDirectory) {
  tree_.Dir("kept");
  tree_.Dir("kept\\child");
  tree_.File("file.tmp");
  platform_.Dir1().SetPath(tree_.Path("kept"));
  platform_.File1().SetPath(tree_.Path("kept"));
  struct Row {
    std::string path;
    int number;
  };
  const std::vector<Row> rows = {
      {tree_.Path("missing"), kPathNotFound},
      {tree_.Path("missing\\deeper"), kPathNotFound},
      {tree_.Path("file.tmp"), kPathNotFound},
      {"c:relative", kBadFileName},
      {tree_.Path("a/b"), kBadFileName},
      {tree_.Path("..\\x"), kBadFileName},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ErrorOf([&] { platform_.Dir1().SetPath(row.path); }), row.number) << row.path;
    EXPECT_EQ(ErrorOf([&] { platform_.File1().SetPath(row.path); }), row.number) << row.path;
  }
  EXPECT_EQ(platform_.Dir1().Path(), tree_.Path("kept"));
  EXPECT_EQ(DirNames(platform_.Dir1()), std::vector<std::string>{tree_.Path("kept\\child")});
  EXPECT_EQ(platform_.File1().Path(), tree_.Path("kept"));
  EXPECT_EQ(ErrorOf([&] { platform_.Dir1().List(1); }), kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { platform_.File1().List(0); }), kInvalidCall);
}

TEST_F(WinListersTest, BothListersShareOneReadButEachSeesAFreshDirectoryLater) {
  tree_.File("first.tmp");
  platform_.Dir1().SetPath(tree_.Root());
  tree_.File("second.tmp");
  // The file lister takes the read the directory lister just made.
  platform_.File1().SetPath(tree_.Root());
  EXPECT_EQ(FileNames(platform_.File1()), std::vector<std::string>{"first.tmp"});
  // Asked again, it reads afresh.
  platform_.File1().SetPath(tree_.Root());
  EXPECT_EQ(platform_.File1().ListCount(), 2);
}

TEST_F(WinListersTest, LengthsComeFromTheListingOrTheSystemAndAre64Bit) {
  tree_.Dir("d");
  tree_.File("d\\small.tmp", "12345");
  tree_.File("d\\empty.tmp", "");
  // A sparse file past 4 GiB.
  {
    HANDLE h = CreateFileW(tree_.Long("d\\big.tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = 5LL << 30;
    ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
  }
  FileLengthService& length = platform_.FileLength();
  // Not listed yet: asked of the system.
  EXPECT_EQ(length.FileLen(tree_.Path("d\\big.tmp")), 5LL << 30);
  EXPECT_EQ(length.FileLen(tree_.Path("d\\small.tmp")), 5);
  // Listed: taken from the listing.
  platform_.Dir1().SetPath(tree_.Path("d"));
  platform_.File1().SetPath(tree_.Path("d"));
  EXPECT_EQ(length.FileLen(tree_.Path("d\\big.tmp")), 5LL << 30);
  EXPECT_EQ(length.FileLen(tree_.Path("d\\empty.tmp")), 0);
  EXPECT_EQ(length.FileLen(tree_.Path("d\\small.tmp")), 5);
}

TEST_F(WinListersTest, MeasuringWhatIsNoFileRaisesItsNumber) {
  tree_.Dir("dir");
  tree_.File("gone.tmp");
  platform_.File1().SetPath(tree_.Root());
  ASSERT_TRUE(DeleteFileW(tree_.Long("gone.tmp").c_str()));
  struct Row {
    std::string path;
    int number;
  };
  const std::vector<Row> rows = {
      {tree_.Path("missing.tmp"), kFileNotFound},
      {tree_.Path("missing\\x.tmp"), kFileNotFound},
      {tree_.Path("dir"), kFileNotFound},
      {tree_.Root().substr(0, 3), kFileNotFound},
      {"not a path", kBadFileName},
      {tree_.Path("a/b.tmp"), kBadFileName},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ErrorOf([&] { platform_.FileLength().FileLen(row.path); }), row.number) << row.path;
  }
}

TEST_F(WinListersTest, TheStampNamesTheFileLastMeasured) {
  EXPECT_FALSE(platform_.FileLength().LastStamp().known);
  tree_.File("a.tmp", "aaa");
  tree_.File("b.tmp", "");
  platform_.File1().SetPath(tree_.Root());
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
  EXPECT_TRUE(a.known);
  EXPECT_FALSE(a.empty);
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

  length.FileLen(tree_.Path("b.tmp"));
  const FileStamp b = length.LastStamp();
  EXPECT_TRUE(b.empty);
  EXPECT_NE(b.inode, a.inode);
  // The same file measured again, by the listing or by the system.
  length.FileLen(tree_.Path("a.tmp"));
  EXPECT_EQ(length.LastStamp(), a);
  platform_.File1().SetPath(tree_.Root());  // a fresh read, then another directory
  tree_.Dir("elsewhere");
  platform_.File1().SetPath(tree_.Path("elsewhere"));
  length.FileLen(tree_.Path("a.tmp"));
  EXPECT_EQ(length.LastStamp(), a);
  // A failed measurement leaves the stamp of the last file measured.
  EXPECT_EQ(ErrorOf([&] { length.FileLen(tree_.Path("none.tmp")); }), kFileNotFound);
  EXPECT_EQ(length.LastStamp(), a);
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
