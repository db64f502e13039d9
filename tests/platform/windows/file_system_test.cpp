// Deleting files through the Windows file-system service on real temporary
// directories: never forced, never another file than the one stamped.
#include "platform/windows/win32.h"

#include <aclapi.h>
#include <sddl.h>
#include <winnetwk.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "held_file.h"
#include "model/runtime_error.h"
#include "platform/windows/windows_platform.h"
#include "support/error_of.h"
#include "win_test_support.h"

namespace tidwen {
namespace {

using test::ErrorOf;
using test::WinTempTree;

class WinDeleteTest : public ::testing::Test {
 protected:
  // Deletes the file at path with the given stamp; 0 when it was deleted,
  // else the number it failed with.
  int Delete(const std::string& path, const FileStamp& stamp = {}) {
    return ErrorOf([&] {
      std::unique_ptr<FileSystemObject> fso = platform_.FileSystem().CreateFileSystemObject();
      std::unique_ptr<FileObject> file = fso->GetFile(path, stamp);
      file->Delete();
    });
  }
  // The stamp the scan would record for the file at path.
  FileStamp StampOf(const std::string& path) {
    platform_.FileLength().FileLen(path);
    return platform_.FileLength().LastStamp();
  }

  WindowsPlatform platform_{WinDriveList(std::vector<WinDrive>{})};
  WinTempTree tree_;
};

TEST_F(WinDeleteTest, AFileInUseWithoutSharingIsRefusedWith70) {
  tree_.File("busy.tmp");
  HANDLE held = CreateFileW(tree_.Long("busy.tmp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const int number = Delete(tree_.Path("busy.tmp"));
  CloseHandle(held);
  EXPECT_EQ(number, kPermissionDenied);
  EXPECT_TRUE(tree_.Exists("busy.tmp"));
  // Once let go, it goes.
  EXPECT_EQ(Delete(tree_.Path("busy.tmp")), 0);
}

// A program that has the file open, whatever it lets others do, keeps it:
// the open for deletion shares nothing. The batch goes on with the next.
TEST_F(WinDeleteTest, AFileAnotherProcessHoldsOpenIsRefusedWith70AndTheBatchGoesOn) {
  for (const wchar_t* mode : {L"read", L"all", L"map"}) {
    const std::string name = "held-" + test::Narrow(mode) + ".tmp";
    tree_.File(name, "in use");
    tree_.File("free.tmp");
    test::HeldFile held(mode, tree_.Long(name));
    if (!held.Why().empty()) GTEST_SKIP() << test::Narrow(mode) << ": " << held.Why();
    {
      DeletionBatch batch(platform_.FileSystem());
      EXPECT_EQ(Delete(tree_.Path(name), StampOf(tree_.Path(name))), kPermissionDenied)
          << test::Narrow(mode);
      EXPECT_EQ(Delete(tree_.Path("free.tmp")), 0) << test::Narrow(mode);
    }
    // Still there once the holder has let it go: not merely pending deletion.
    held.Release();
    EXPECT_EQ(test::ContentOf(tree_.Long(name)), "in use") << test::Narrow(mode);
    EXPECT_EQ(Delete(tree_.Path(name)), 0) << test::Narrow(mode);
  }
}

// Sets the access control list of a file or directory from SDDL; false when
// the system takes none.
bool SetAcl(const std::wstring& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    return false;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  const bool ok =
      GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) &&
      SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
  LocalFree(sd);
  return ok;
}

TEST_F(WinDeleteTest, AFileThatAccessControlRefusesIsRefusedWith70) {
  tree_.Dir("guarded");
  tree_.File("guarded\\x.tmp");
  const std::wstring dir = tree_.Long("guarded");
  const std::wstring file = tree_.Long("guarded\\x.tmp");
  // Neither the file's own delete right nor its directory's right to delete
  // children is granted to anyone; everything else is.
  ASSERT_TRUE(SetAcl(dir, L"D:P(D;;DC;;;WD)(A;OICI;FA;;;WD)"));
  ASSERT_TRUE(SetAcl(file, L"D:P(D;;SD;;;WD)(A;;FA;;;WD)"));
  HANDLE probe =
      CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  const bool enforced = probe == INVALID_HANDLE_VALUE;
  if (!enforced) CloseHandle(probe);
  int number = 0;
  if (enforced) number = Delete(tree_.Path("guarded\\x.tmp"));
  // Let the tree be removed again.
  SetAcl(dir, L"D:P(A;OICI;FA;;;WD)");
  SetAcl(file, L"D:P(A;;FA;;;WD)");
  if (!enforced) {
    GTEST_SKIP() << "the system does not enforce access control lists here "
                    "(Wine keeps them but grants every access)";
  }
  EXPECT_EQ(number, kPermissionDenied);
  EXPECT_TRUE(tree_.Exists("guarded\\x.tmp"));
}

TEST_F(WinDeleteTest, AFileGrownOrRewrittenSinceTheScanIsRefusedWith70AndKept) {
  tree_.File("grown.tmp", "a");
  tree_.File("rewritten.tmp", "a");
  const FileStamp grown = StampOf(tree_.Path("grown.tmp"));
  const FileStamp rewritten = StampOf(tree_.Path("rewritten.tmp"));

  tree_.File("grown.tmp", "ab");
  // The same size, written at a later time.
  HANDLE h = CreateFileW(tree_.Long("rewritten.tmp").c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FILETIME later;
  const std::uint64_t t = 133800000000000000ULL;
  later.dwLowDateTime = static_cast<DWORD>(t);
  later.dwHighDateTime = static_cast<DWORD>(t >> 32);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &later));
  CloseHandle(h);

  EXPECT_EQ(Delete(tree_.Path("grown.tmp"), grown), kPermissionDenied);
  EXPECT_EQ(Delete(tree_.Path("rewritten.tmp"), rewritten), kPermissionDenied);
  EXPECT_TRUE(tree_.Exists("grown.tmp"));
  EXPECT_TRUE(tree_.Exists("rewritten.tmp"));
  // A stamp of another file, or of a kind Windows has not, matches nothing.
  FileStamp generation = StampOf(tree_.Path("grown.tmp"));
  generation.identity = StampIdentity::kGeneration;
  EXPECT_EQ(Delete(tree_.Path("grown.tmp"), generation), kPermissionDenied);
  EXPECT_EQ(Delete(tree_.Path("grown.tmp"), StampOf(tree_.Path("rewritten.tmp"))),
            kPermissionDenied);
  EXPECT_EQ(Delete(tree_.Path("grown.tmp"), StampOf(tree_.Path("grown.tmp"))), 0);
}

TEST_F(WinDeleteTest, NoFileIsReachedThroughALinkOnTheWay) {
  tree_.Dir("real");
  tree_.File("real\\x.tmp");
  test::UnixLinks unix;
  const std::string why = test::MakeDirectoryLink(tree_, "link", "real", &unix);
  if (!why.empty()) GTEST_SKIP() << "no directory link can be made here: " << why;
  EXPECT_EQ(Delete(tree_.Path("link\\x.tmp")), kFileNotFound);
  EXPECT_TRUE(tree_.Exists("real\\x.tmp"));
  // Nor is the link itself deleted as a file.
  EXPECT_EQ(Delete(tree_.Path("link")), kFileNotFound);
  EXPECT_TRUE(tree_.Exists("link"));
}

// The check that a file is reached by its own name compares names exactly,
// but it still lets a file go when its folder is given another way: by a
// short name, or through a drive letter that stands for the folder.
TEST_F(WinDeleteTest, AFileIsDeletedThroughAShortNameOrADriveForItsFolder) {
  tree_.Dir("Long Folder Name");
  struct Row {
    std::string way;
    std::string path;  // where the file is asked for
    std::string file;  // the same file in the tree
  };
  std::vector<Row> rows;
  std::vector<std::string> skipped;
  std::wstring shortName(MAX_PATH + 1, L'\0');
  const DWORD length = GetShortPathNameW(tree_.Long("Long Folder Name").c_str(), shortName.data(),
                                         static_cast<DWORD>(shortName.size()));
  shortName.resize(length <= MAX_PATH ? length : 0);
  if (shortName.size() > 4 && shortName.find(L'~') != std::wstring::npos) {
    rows.push_back({"a short name", test::Narrow(shortName.substr(4)) + "\\short.tmp",
                    "Long Folder Name\\short.tmp"});
  } else {
    skipped.push_back("the file system makes no short names");
  }
  test::DriveFor drive('p', tree_.Path("Long Folder Name"));
  if (drive.Why().empty()) {
    rows.push_back({"a drive for the folder", drive.Root() + "lettered.tmp",
                    "Long Folder Name\\lettered.tmp"});
  } else {
    skipped.push_back(drive.Why());
  }
  // A network drive is such a drive too, resolved to "\\server\share\...":
  // the folder's volume through its administrative share, where there is
  // one (Windows, run as an administrator).
  const std::string folder = tree_.Path("Long Folder Name");
  std::wstring remote = L"\\\\localhost\\" + test::Wide(folder.substr(0, 1)) + L"$";
  std::wstring local = L"K:";
  NETRESOURCEW share{};
  share.dwType = RESOURCETYPE_DISK;
  share.lpLocalName = local.data();
  share.lpRemoteName = remote.data();
  const DWORD connected = WNetAddConnection2W(&share, nullptr, nullptr, 0);
  if (connected == NO_ERROR) {
    rows.push_back({"a network drive", "k:" + folder.substr(2) + "\\shared.tmp",
                    "Long Folder Name\\shared.tmp"});
  } else {
    skipped.push_back("no network drive can be made here: error " + std::to_string(connected));
  }
  for (const Row& row : rows) {
    tree_.File(row.file);
    EXPECT_EQ(Delete(row.path, StampOf(row.path)), 0) << row.way;
    EXPECT_FALSE(tree_.Exists(row.file)) << row.way;
  }
  if (connected == NO_ERROR) WNetCancelConnection2W(local.c_str(), 0, TRUE);
  for (const std::string& why : skipped) std::cout << "[ SKIPPED  ] " << why << "\n";
  if (rows.empty()) GTEST_SKIP() << "no other way to the folder can be made here";
}

TEST_F(WinDeleteTest, TreesDeeperThanMaxPathAreListedMeasuredAndCleaned) {
  std::string relative;
  for (int depth = 0; depth < 8; ++depth) {
    relative += (relative.empty() ? "" : "\\") + std::string(60, static_cast<char>('a' + depth));
    tree_.Dir(relative);
  }
  const std::string file = relative + "\\deep.tmp";
  tree_.File(file, "12345");
  const std::string dirPath = tree_.Path(relative);
  ASSERT_GT(dirPath.size(), static_cast<std::size_t>(MAX_PATH));

  platform_.Dir1().SetPath(tree_.Path(relative.substr(0, relative.rfind('\\'))));
  ASSERT_EQ(platform_.Dir1().ListCount(), 1);
  EXPECT_EQ(platform_.Dir1().List(0), dirPath);
  platform_.Dir1().SetPath(dirPath);
  platform_.File1().SetPath(platform_.Dir1().Path());
  ASSERT_EQ(platform_.File1().ListCount(), 1);
  EXPECT_EQ(platform_.File1().List(0), "deep.tmp");
  const std::string filePath = dirPath + "\\deep.tmp";
  EXPECT_EQ(platform_.FileLength().FileLen(filePath), 5);
  const FileStamp stamp = platform_.FileLength().LastStamp();
  EXPECT_NE(stamp.inode, 0u);
  EXPECT_EQ(Delete(filePath, stamp), 0);
  EXPECT_FALSE(tree_.Exists(file));
}

TEST_F(WinDeleteTest, NamesThatAreNoValidUtf16RoundTrip) {
  // "a", a lone lead surrogate, "z.tmp".
  const std::string name = "a\xed\xa0\x80z.tmp";
  HANDLE h = CreateFileW(tree_.Long(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    GTEST_SKIP() << "the file system takes no name with a lone surrogate (error " << GetLastError()
                 << "; Wine stores names as UTF-8)";
  }
  CloseHandle(h);
  platform_.File1().SetPath(tree_.Root());
  ASSERT_EQ(platform_.File1().ListCount(), 1);
  EXPECT_EQ(platform_.File1().List(0), name);
  EXPECT_EQ(platform_.FileLength().FileLen(tree_.Path(name)), 0);
  EXPECT_EQ(Delete(tree_.Path(name), platform_.FileLength().LastStamp()), 0);
  EXPECT_FALSE(tree_.Exists(name));
}

// Under Wine a Unix symbolic link to a file shows as a plain file, and the
// open goes through it to its target. Whatever it points at, deleting the
// link's entry deletes nothing, and the target keeps its content.
TEST_F(WinDeleteTest, NoLinkMadeOnTheUnixSideLeadsADeletionElsewhere) {
  WinTempTree outside;
  outside.File("thesis.docx", "chapter one");
  outside.Dir("folder");
  outside.File("folder\\x.tmp", "kept");
  tree_.Dir("in");
  tree_.File("in\\real.tmp", "real");
  tree_.File("report.Tmp", "saved");
  struct Row {
    const char* link;
    std::string target;   // a drive path
    std::string deleted;  // the path whose deletion is asked for
    int number;
  };
  const std::vector<Row> rows = {
      {"notes.tmp", outside.Path("thesis.docx"), tree_.Path("notes.tmp"), kPermissionDenied},
      {"inner.tmp", tree_.Path("in\\real.tmp"), tree_.Path("inner.tmp"), kPermissionDenied},
      // Beside its target, whose name differs only in case.
      {"report.tmp", tree_.Path("report.Tmp"), tree_.Path("report.tmp"), kPermissionDenied},
      {"dirlink", outside.Path("folder"), tree_.Path("dirlink\\x.tmp"), kFileNotFound},
      {"dirlink2", outside.Path("folder"), tree_.Path("dirlink2"), kFileNotFound},
  };
  test::UnixLinks links;
  for (const Row& row : rows) {
    const std::string why = links.Make(tree_.Path(row.link), row.target);
    if (!why.empty()) GTEST_SKIP() << why;
    EXPECT_EQ(Delete(row.deleted), row.number) << row.link;
    // With the stamp the scan would have taken, too.
    if (row.number == kPermissionDenied) {
      EXPECT_EQ(Delete(row.deleted, StampOf(row.deleted)), row.number) << row.link;
    }
    EXPECT_TRUE(tree_.Exists(row.link)) << row.link;
  }
  EXPECT_EQ(test::ContentOf(outside.Long("thesis.docx")), "chapter one");
  EXPECT_EQ(test::ContentOf(outside.Long("folder\\x.tmp")), "kept");
  EXPECT_EQ(test::ContentOf(tree_.Long("in\\real.tmp")), "real");
  EXPECT_EQ(test::ContentOf(tree_.Long("report.Tmp")), "saved");
}

}  // namespace
}  // namespace tidwen
