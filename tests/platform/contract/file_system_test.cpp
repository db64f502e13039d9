// Deleting files through every backend's file-system objects on a real
// tree: never forced, and only the file the scan saw.
#include <gtest/gtest.h>

#include "contract_support.h"
#include "model/runtime_error.h"

namespace tidwen::contract {
namespace {

using test::ErrorOf;

class ContractDelete : public PlatformTest {};
CONTRACT_SUITE(ContractDelete);

TEST_P(ContractDelete, EachPathGivesItsNumberAndOnlyWritableFilesGo) {
  tree_.File("plain.tmp");
  tree_.File("d/deep.tmp");
  tree_.File("ro.tmp");
  tree_.SetReadOnly("ro.tmp");
  tree_.Dir("dir.tmp");
  tree_.File("keep.tmp");
  const struct {
    const char* path;
    int number;
  } rows[] = {
      {"c:\\plain.tmp", 0},
      {"C:\\d\\deep.tmp", 0},
      {"c:\\ro.tmp", kPermissionDenied},
      {"c:\\plain.tmp", kFileNotFound},
      {"c:\\nodir\\x.tmp", kFileNotFound},
      {"c:\\dir.tmp", kFileNotFound},
      {"c:\\", kFileNotFound},
      {"", kBadFileName},
      {"keep.tmp", kBadFileName},
      {"q:\\keep.tmp", kBadFileName},
      {"c:\\d/..\\keep.tmp", kBadFileName},
      {"c:\\d\\..\\keep.tmp", kBadFileName},
      {"c:\\..\\keep.tmp", kBadFileName},
  };
  for (const auto& row : rows) EXPECT_EQ(Delete(row.path), row.number) << row.path;
  EXPECT_EQ(Delete("c:\\ro.tmp", StampOf("c:\\ro.tmp")), kPermissionDenied);
  EXPECT_FALSE(tree_.Exists("plain.tmp"));
  EXPECT_FALSE(tree_.Exists("d/deep.tmp"));
  EXPECT_TRUE(tree_.Exists("ro.tmp") && tree_.ReadOnly("ro.tmp"));
  EXPECT_TRUE(tree_.Exists("dir.tmp"));
  EXPECT_TRUE(tree_.Exists("keep.tmp"));
}

TEST_P(ContractDelete, AFileObjectDeletesOnceAndTheNextLookUpFindsNothing) {
  tree_.File("once.tmp");
  std::unique_ptr<FileSystemObject> fso = platform_->FileSystem().CreateFileSystemObject();
  std::unique_ptr<FileObject> once = fso->GetFile("c:\\once.tmp", {});
  once->Delete();
  EXPECT_EQ(ErrorOf([&] { once->Delete(); }), kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fso->GetFile("c:\\once.tmp", {}); }), kFileNotFound);
}

TEST_P(ContractDelete, AFileChangedSinceTheScanIsRefusedWith70AndKept) {
  tree_.File("same.tmp", "1");
  tree_.File("swapped.tmp", "old");
  tree_.File("was-empty.tmp", "");
  file1_.SetPath("c:\\");  // measured from the listing, as the scan does
  const FileStamp same = StampOf("c:\\same.tmp");
  const FileStamp swapped = StampOf("c:\\swapped.tmp");
  const FileStamp wasEmpty = StampOf("c:\\was-empty.tmp");
  // Replaced the way editors save: a new file renamed over the old one.
  tree_.File("new.tmp", "new");
  fs::rename(tree_.Path("new.tmp"), tree_.Path("swapped.tmp"));
  tree_.File("was-empty.tmp", "now data");

  EXPECT_EQ(Delete("c:\\swapped.tmp", swapped), kPermissionDenied);
  EXPECT_EQ(Delete("c:\\was-empty.tmp", wasEmpty), kPermissionDenied);
  EXPECT_EQ(tree_.Read("swapped.tmp"), "new");
  EXPECT_EQ(tree_.Read("was-empty.tmp"), "now data");
  EXPECT_EQ(Delete("c:\\same.tmp", same), 0);
  EXPECT_EQ(Delete("c:\\same.tmp", same), kFileNotFound);
  // An unknown stamp checks nothing.
  EXPECT_EQ(Delete("c:\\swapped.tmp", FileStamp{}), 0);
}

TEST_P(ContractDelete, ABatchGoesOnPastFailuresAndSeesItsDirectoryGo) {
  for (const char* f : {"d/1.tmp", "d/2.tmp", "d/3.tmp", "e/4.tmp"}) tree_.File(f);
  {
    DeletionBatch batch(platform_->FileSystem());
    EXPECT_EQ(Delete("c:\\d\\1.tmp"), 0);
    EXPECT_EQ(Delete("c:\\d\\missing.tmp"), kFileNotFound);
    EXPECT_EQ(Delete("c:\\.."), kBadFileName);  // the directory open, too
    EXPECT_EQ(Delete("c:\\d/2.tmp"), kBadFileName);
    EXPECT_EQ(Delete("c:\\d\\2.tmp"), 0);
    tree_.Remove("d");
    EXPECT_EQ(Delete("c:\\d\\3.tmp"), kFileNotFound);
    EXPECT_EQ(Delete("c:\\e\\4.tmp"), 0);
  }
  EXPECT_FALSE(tree_.Exists("e/4.tmp"));
  tree_.File("d/5.tmp");
  EXPECT_EQ(Delete("c:\\d\\5.tmp"), 0);
  EXPECT_FALSE(tree_.Exists("d/5.tmp"));
}

TEST_P(ContractDelete, AFileAnotherProcessHoldsOpenIsRefusedWith70AndTheBatchGoesOn) {
  for (const char* f : {"d/1.tmp", "d/held.tmp", "d/3.tmp"}) tree_.File(f, "data");
  std::string why;
  std::shared_ptr<void> holder = HoldOpen(tree_, "d/held.tmp", why);
  if (!holder) GTEST_SKIP() << why;
  const FileStamp stamp = StampOf("c:\\d\\held.tmp");
  {
    DeletionBatch batch(platform_->FileSystem());
    EXPECT_EQ(Delete("c:\\d\\1.tmp"), 0);
    EXPECT_EQ(Delete("c:\\d\\held.tmp", stamp), kPermissionDenied);
    EXPECT_EQ(Delete("c:\\d\\3.tmp"), 0);
  }
  EXPECT_FALSE(tree_.Exists("d/1.tmp"));
  EXPECT_FALSE(tree_.Exists("d/3.tmp"));
  EXPECT_EQ(tree_.Read("d/held.tmp"), "data");
  // Once let go, it is deleted.
  holder.reset();
  EXPECT_EQ(Delete("c:\\d\\held.tmp", stamp), 0);
  EXPECT_FALSE(tree_.Exists("d/held.tmp"));
}

}  // namespace
}  // namespace tidwen::contract
