// The Windows layer's pure parts: drive paths and their long form, the
// error table, the drive chooser's text and the stamp.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/windows/drive_list.h"
#include "platform/windows/error_numbers.h"
#include "platform/windows/file_stamp_win.h"
#include "platform/windows/win32.h"
#include "platform/windows/win_path.h"

namespace tidwen {
namespace {

TEST(WinDrivePathTest, DrivePathsBecomeLongPaths) {
  struct Row {
    std::string given, path;
    std::wstring longPath;
  };
  const std::vector<Row> rows = {
      {"c:\\", "c:\\", L"\\\\?\\c:\\"},
      {"C:\\", "c:\\", L"\\\\?\\c:\\"},
      {"d:\\a", "d:\\a", L"\\\\?\\d:\\a"},
      {"d:\\a\\", "d:\\a", L"\\\\?\\d:\\a"},
      {"c:\\Dir\\X.TMP", "c:\\Dir\\X.TMP", L"\\\\?\\c:\\Dir\\X.TMP"},
      {"c:\\\xe5\x9e\x83\xe5\x9c\xbe.tmp", "c:\\\xe5\x9e\x83\xe5\x9c\xbe.tmp",
       L"\\\\?\\c:\\\u5783\u573e.tmp"},
      // A lone surrogate in a name, spelt in WTF-8, reaches the system as is.
      {"c:\\a\xed\xa0\x80", "c:\\a\xed\xa0\x80", std::wstring(L"\\\\?\\c:\\a") + wchar_t(0xD800)},
      {"c:\\...x", "c:\\...x", L"\\\\?\\c:\\...x"},
  };
  for (const Row& row : rows) {
    const auto parsed = ParseWinDrivePath(row.given);
    ASSERT_TRUE(parsed) << row.given;
    EXPECT_EQ(parsed->path, row.path) << row.given;
    EXPECT_EQ(parsed->longPath, row.longPath) << row.given;
  }
}

TEST(WinDrivePathTest, WhatIsNoDrivePathIsRefused) {
  const std::vector<std::string> bad = {
      "",
      "c",
      "c:",
      "c:x",
      "1:\\",
      "\\\\server\\share",
      "c:/x",
      "c:\\a/b",
      "c:\\a\\\\b",
      "c:\\a\\\\",
      "c:\\.",
      "c:\\..\\x",
      "c:\\a\\..",
      std::string("c:\\a\0b", 6),
      "c:\\\xc0\xaf",                  // overlong
      "c:\\\xed\xa0\x80\xed\xb0\x80",  // a pair spelt as two halves
  };
  for (const std::string& path : bad) EXPECT_FALSE(ParseWinDrivePath(path)) << path;
}

TEST(WinDrivePathTest, LongFormHasRoomForThirtyTwoThousandUnits) {
  std::string path = "c:";
  while (path.size() < 32700) path += "\\" + std::string(200, 'n');
  EXPECT_TRUE(ParseWinDrivePath(path.substr(0, 32700)));
  path += "\\" + std::string(200, 'n');
  EXPECT_FALSE(ParseWinDrivePath(path));
}

TEST(WinDrivePathTest, SplitKeepsTheRootsBackslash) {
  struct Row {
    std::string path, parent, name;
  };
  const std::vector<Row> rows = {
      {"c:\\x.tmp", "c:\\", "x.tmp"},
      {"c:\\a\\x.tmp", "c:\\a", "x.tmp"},
      {"c:\\a\\b\\", "c:\\a\\b", ""},
      {"c:\\", "c:\\", ""},
  };
  for (const Row& row : rows) {
    const WinParentAndName split = SplitWinPath(row.path);
    EXPECT_EQ(split.parent, row.parent) << row.path;
    EXPECT_EQ(split.name, row.name) << row.path;
  }
  EXPECT_TRUE(SameWinPath("C:\\Dir", "c:\\Dir"));
  EXPECT_FALSE(SameWinPath("c:\\Dir", "c:\\dir"));
  EXPECT_FALSE(SameWinPath("c:\\Dir", "c:\\Dir2"));
}

TEST(WinErrorTableTest, EachCodeHasItsNumberForWhatWasBeingDone) {
  struct Row {
    DWORD error;
    int listing, reaching, deleting;
  };
  const std::vector<Row> rows = {
      {ERROR_FILE_NOT_FOUND, 76, 53, 53},
      {ERROR_PATH_NOT_FOUND, 76, 53, 53},
      {ERROR_DIRECTORY, 76, 53, 53},
      {ERROR_ACCESS_DENIED, 70, 70, 70},
      {ERROR_SHARING_VIOLATION, 70, 70, 70},
      {ERROR_LOCK_VIOLATION, 70, 70, 70},
      {ERROR_WRITE_PROTECT, 70, 70, 70},
      {ERROR_NOT_READY, 71, 71, 71},
      {ERROR_INVALID_NAME, 52, 52, 52},
      {ERROR_FILENAME_EXCED_RANGE, 52, 52, 52},
      {ERROR_BAD_NETPATH, 68, 68, 68},
      {ERROR_DEV_NOT_EXIST, 68, 68, 68},
      {ERROR_CRC, 57, 57, 57},
      {ERROR_TOO_MANY_OPEN_FILES, 67, 67, 67},
      {ERROR_NOT_ENOUGH_MEMORY, 7, 7, 7},
      {ERROR_BUSY, 72, 72, 72},
      {ERROR_CANT_RESOLVE_FILENAME, 75, 53, 53},
      {ERROR_NOT_SAME_DEVICE, 75, 75, 75},
      {ERROR_INVALID_PARAMETER, 5, 5, 5},
      // Anything the table does not know.
      {ERROR_SUCCESS, 51, 51, 51},
      {ERROR_HANDLE_EOF, 51, 51, 51},
      {0xFFFFFFFFu, 51, 51, 51},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(WinErrorNumber(row.error, WinDoing::kListing), row.listing) << row.error;
    EXPECT_EQ(WinErrorNumber(row.error, WinDoing::kReaching), row.reaching) << row.error;
    EXPECT_EQ(WinErrorNumber(row.error, WinDoing::kDeleting), row.deleting) << row.error;
  }
}

TEST(WinErrorTableTest, EveryCodeOnceAndEveryNumberOneTheRuntimeKnows) {
  const std::set<int> known = {kInvalidCall,      kOutOfMemory,  kInternalError, kBadFileName,
                               kFileNotFound,     kDeviceIo,     kTooManyFiles,  kDeviceUnavailable,
                               kPermissionDenied, kDiskNotReady, kFileBusy,      kPathFileAccess,
                               kPathNotFound};
  std::set<std::uint32_t> codes;
  for (const WinErrorRow& row : WinErrorTable()) {
    EXPECT_TRUE(codes.insert(row.error).second) << "code twice: " << row.error;
    EXPECT_TRUE(known.count(row.listing)) << row.error;
    EXPECT_TRUE(known.count(row.reaching)) << row.error;
    EXPECT_TRUE(known.count(row.deleting)) << row.error;
    // A file is never "path not found": that number is for directories.
    EXPECT_NE(row.reaching, kPathNotFound) << row.error;
    EXPECT_NE(row.deleting, kPathNotFound) << row.error;
  }
}

TEST(WinDriveLabelTest, NetworkPathBeforeVolumeLabel) {
  struct Row {
    std::string label, remote, name;
  };
  const std::vector<Row> rows = {
      {"System", "", "System"},
      {"", "", ""},
      {"", "\\\\server\\share", "\\\\server\\share"},
      {"Label", "\\\\nas\\x", "\\\\nas\\x"},
  };
  for (const Row& row : rows) EXPECT_EQ(WinDriveLabel(row.label, row.remote), row.name);
}

TEST(WinStampTest, EveryPartOfTheFileChangesTheStamp) {
  const FileStamp base = WinStampOf(7, 42, 10, 133000000000000000ULL, 132000000000000000ULL);
  EXPECT_TRUE(base.known);
  EXPECT_FALSE(base.empty);
  EXPECT_EQ(base.identity, StampIdentity::kBirthTime);
  EXPECT_EQ(base.device, 7u);
  EXPECT_EQ(base.inode, 42u);
  EXPECT_EQ(base, WinStampOf(7, 42, 10, 133000000000000000ULL, 132000000000000000ULL));
  EXPECT_NE(base, WinStampOf(8, 42, 10, 133000000000000000ULL, 132000000000000000ULL));
  EXPECT_NE(base, WinStampOf(7, 43, 10, 133000000000000000ULL, 132000000000000000ULL));
  EXPECT_NE(base.version,
            WinStampOf(7, 42, 11, 133000000000000000ULL, 132000000000000000ULL).version);
  EXPECT_NE(base.version,
            WinStampOf(7, 42, 10, 133000000000000001ULL, 132000000000000000ULL).version);
  EXPECT_NE(base.version,
            WinStampOf(7, 42, 10, 133000000000000000ULL, 132000000000000001ULL).version);
  EXPECT_TRUE(WinStampOf(7, 42, 0, 1, 1).empty);
  const FileStamp lost = WinStampWithoutIdentity(10, 133000000000000000ULL);
  EXPECT_TRUE(lost.known);
  EXPECT_EQ(lost.identity, StampIdentity::kNone);
  EXPECT_NE(lost.version, base.version);
}

}  // namespace
}  // namespace tidwen
