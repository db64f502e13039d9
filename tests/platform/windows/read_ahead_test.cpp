// Reading ahead on Windows: a scan lists what the walk that reads every
// directory at its turn lists; a directory changed or made anew after it was
// read ahead is read again; and a hit's stamp comes from its listing, with
// no file opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "memory_platform.h"
#include "model/plain_controls.h"
#include "platform/windows/directory_platform.h"
#include "platform/windows/directory_reader.h"
#include "platform/windows/file_stamp_win.h"
#include "platform/windows/kept_out.h"
#include "platform/windows/win32.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"
#include "win_test_support.h"

namespace tidwen {
namespace {

using test::WinTempTree;

struct Scan {
  std::vector<std::string> results;
  std::vector<std::string> queued;
};

Scan ScanWith(const WinTempTree& tree, int workers) {
  DirectoryPlatform platform(tree.Root());
  platform.SetReadAhead(workers, 0);
  PlainListControl list1, list2, list3;
  PlainLabel label1;
  PlainDriveList drive1{"c:"};
  test::ScriptedMessageBox box;
  Form1Context form =
      MakeForm1Context({list1, list2, list3, label1, drive1}, platform.Services(), box);
  Form_Load(form);
  Command1_Click(form);
  Scan scan;
  for (std::int64_t i = 0; i < list1.ListCount(); ++i) scan.results.emplace_back(list1.List(i));
  for (std::int64_t i = 0; i < list3.ListCount(); ++i) scan.queued.emplace_back(list3.List(i));
  platform.ReleaseHandles();
  return scan;
}

TEST(WinReadAhead, ScanListsWhatTheOneThreadWalkListsInTheSameOrder) {
  WinTempTree tree;
  for (int a = 0; a < 5; ++a) {
    const std::string top = "d" + std::to_string(a);
    tree.Dir(top);
    for (int b = 0; b < 4; ++b) {
      const std::string mid = top + "\\e" + std::to_string(b);
      tree.Dir(mid);
      tree.File(mid + "\\x.tmp");
      tree.File(mid + "\\keep.txt");
      tree.File(mid + "\\zero.log", "");
    }
    tree.File(top + "\\a.old");
  }
  const Scan alone = ScanWith(tree, 0);
  ASSERT_EQ(alone.results.size(), 5u * 4 * 2 + 5);
  for (const int workers : {1, 2, 4}) {
    const Scan ahead = ScanWith(tree, workers);
    EXPECT_EQ(ahead.results, alone.results) << workers << " workers";
    EXPECT_EQ(ahead.queued, alone.queued) << workers << " workers";
  }
}

std::vector<std::string> FileNames(const WinListing& listing) {
  std::vector<std::string> names;
  for (std::int64_t i = 0; i < listing.FileCount(); ++i) names.emplace_back(listing.FileName(i));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WinReadAhead, DirectoryChangedOrMadeAnewWhileHeldIsReadAgain) {
  WinTempTree tree;
  for (const char* dir : {"d0", "d1", "d2"}) tree.Dir(dir);
  tree.File("d0\\a.tmp");
  tree.File("d1\\old.tmp");
  tree.File("d2\\b.tmp");
  WinKeptOut kept(WinKeptOut::SystemFolders());
  WinDirectoryReader reader(kept);
  reader.SetReadAhead(2, 0);
  reader.SetWalkStart(tree.Root());
  reader.Read(tree.Root(), WinLister::kDirs);
  for (int i = 0; i < 2000 && reader.HeldAhead() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(reader.HeldAhead(), 3u);
  // Past the coarsest tick of the file system's clock, then d1 made anew
  // and a file added to d2.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(DeleteFileW(tree.Long("d1\\old.tmp").c_str()));
  ASSERT_TRUE(RemoveDirectoryW(tree.Long("d1").c_str()));
  tree.Dir("d1");
  tree.File("d1\\new.tmp");
  tree.File("d2\\c.tmp");
  struct Row {
    const char* dir;
    std::vector<std::string> files;
  };
  for (const Row& row :
       {Row{"d0", {"a.tmp"}}, Row{"d1", {"new.tmp"}}, Row{"d2", {"b.tmp", "c.tmp"}}}) {
    EXPECT_EQ(FileNames(*reader.Read(tree.Path(row.dir), WinLister::kDirs)), row.files) << row.dir;
  }
  EXPECT_EQ(reader.HeldAhead(), 0u);
}

TEST(WinReadAhead, AHitIsStampedFromItsListingWithoutOpeningIt) {
  WinTempTree tree;
  tree.File("a.tmp", "abc");
  HANDLE h = CreateFileW(tree.Long("a.tmp").c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(GetFileInformationByHandle(h, &info));
  const WinFileId id =
      FileIdOf(h, info.dwVolumeSerialNumber, Join64(info.nFileIndexHigh, info.nFileIndexLow));
  CloseHandle(h);

  WindowsPlatform platform{WinDriveList(std::vector<WinDrive>{})};
  platform.File1().SetPath(tree.Root());
  EXPECT_EQ(platform.FileLength().FileLen(tree.Path("a.tmp")), 3);
  // Gone before its stamp is asked for: the stamp is the listing's all the
  // same, which a file opened now could not give.
  ASSERT_TRUE(DeleteFileW(tree.Long("a.tmp").c_str()));
  const FileStamp stamp = platform.FileLength().LastStamp();
  EXPECT_TRUE(stamp.known);
  EXPECT_EQ(stamp.identity, StampIdentity::kBirthTime);
  EXPECT_EQ(stamp.device, id.volume);
  EXPECT_EQ(stamp.inode, id.file);
  EXPECT_EQ(stamp.version,
            StampVersion(3, FileTimeToUnixNs(FileTimeValue(info.ftLastWriteTime)),
                         StampIdentity::kBirthTime, FileTimeValue(info.ftCreationTime)));
}

}  // namespace
}  // namespace tidwen
