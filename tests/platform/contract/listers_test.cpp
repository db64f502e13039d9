// The directory and file listers of every backend on a real tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract_support.h"
#include "model/runtime_error.h"

namespace tidwen::contract {
namespace {

using test::ErrorOf;
using Names = std::vector<std::string>;

class ContractListers : public PlatformTest {};
CONTRACT_SUITE(ContractListers);

TEST_P(ContractListers, ListInOrderWithFullPathsAndABackslashOnlyAfterTheRoot) {
  for (const char* d : {"b", "a", "m.dir", "a/inner"}) tree_.Dir(d);
  for (const char* f : {"z.bak", "b.tmp", "c", "a/in.tmp"}) tree_.File(f);

  dir1_.SetPath("c:\\");
  file1_.SetPath(dir1_.Path());
  EXPECT_EQ(dir1_.Path(), "c:\\");
  EXPECT_EQ(file1_.Path(), "c:\\");
  EXPECT_EQ(DirNames(), InListingOrder(tree_, "", {"a", "b", "m.dir"}, "c:\\"));
  EXPECT_EQ(FileNames(), InListingOrder(tree_, "", {"b.tmp", "c", "z.bak"}));

  // Below the root: no trailing "\", and the letter in lower case.
  dir1_.SetPath("C:\\a");
  file1_.SetPath("C:\\a");
  EXPECT_EQ(dir1_.Path(), "c:\\a");
  EXPECT_EQ(file1_.Path(), "c:\\a");
  EXPECT_EQ(DirNames(), Names{"c:\\a\\inner"});
  EXPECT_EQ(FileNames(), Names{"in.tmp"});
  dir1_.SetPath("c:\\a\\inner");
  EXPECT_EQ(dir1_.Path(), "c:\\a\\inner");
  EXPECT_EQ(dir1_.ListCount(), 0);
}

TEST_P(ContractListers, HiddenFilesAreLeftOutButHiddenDirectoriesAreListed) {
  tree_.File("plain.tmp");
  tree_.File("secret.tmp");
  tree_.Dir("den");
  std::string why;
  const std::string file = Hide(tree_, "secret.tmp", why);
  const std::string dir = Hide(tree_, "den", why);
  if (file.empty() || dir.empty()) GTEST_SKIP() << why;
  dir1_.SetPath("c:\\");
  file1_.SetPath("c:\\");
  EXPECT_EQ(FileNames(), Names{"plain.tmp"});
  EXPECT_EQ(DirNames(), Names{DrivePath(dir)});
}

TEST_P(ContractListers, AFailedListingRaisesItsNumberAndKeepsTheOldDirectory) {
  tree_.Dir("kept/child");
  tree_.File("kept/k.tmp");
  tree_.File("file.tmp");
  tree_.Dir("gone");
  dir1_.SetPath("c:\\kept");
  file1_.SetPath("c:\\kept");
  tree_.Remove("gone");
  const struct {
    const char* path;
    int number;
  } rows[] = {
      {"c:\\gone", kPathNotFound},
      {"c:\\gone\\deeper", kPathNotFound},
      {"c:\\file.tmp", kPathNotFound},
      {"", kBadFileName},
      {"c:", kBadFileName},
      {"c:relative", kBadFileName},
      {"c:/", kBadFileName},
      {"c:\\a/b", kBadFileName},
      {"c:\\..", kBadFileName},
      {"c:\\..\\x", kBadFileName},
      {"c:\\kept\\..", kBadFileName},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ErrorOf([&] { dir1_.SetPath(row.path); }), row.number) << row.path;
    EXPECT_EQ(ErrorOf([&] { file1_.SetPath(row.path); }), row.number) << row.path;
  }
  EXPECT_EQ(dir1_.Path(), "c:\\kept");
  EXPECT_EQ(DirNames(), Names{"c:\\kept\\child"});
  EXPECT_EQ(file1_.Path(), "c:\\kept");
  EXPECT_EQ(FileNames(), Names{"k.tmp"});
  // So is an index outside the list.
  EXPECT_EQ(ErrorOf([&] { (void)dir1_.List(1); }), kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { (void)file1_.List(1); }), kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { (void)file1_.List(-1); }), kInvalidCall);
}

TEST_P(ContractListers, TheFileListerTakesTheDirectoryListersReadOnceAndEachKeepsItsOwn) {
  tree_.File("first.tmp");
  tree_.File("sub/s.tmp");
  dir1_.SetPath("c:\\");
  tree_.File("second.tmp");
  file1_.SetPath("c:\\");
  EXPECT_EQ(FileNames(), Names{"first.tmp"});
  // Asked again, it reads afresh.
  file1_.SetPath("c:\\");
  EXPECT_EQ(FileNames(), InListingOrder(tree_, "", {"first.tmp", "second.tmp"}));
  // One lister moving on leaves the other where it was.
  dir1_.SetPath("c:\\sub");
  EXPECT_EQ(file1_.ListCount(), 2);
  file1_.SetPath("c:\\sub");
  EXPECT_EQ(dir1_.Path(), "c:\\sub");
  EXPECT_EQ(FileNames(), Names{"s.tmp"});
}

}  // namespace
}  // namespace tidwen::contract
