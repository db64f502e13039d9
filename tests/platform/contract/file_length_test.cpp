// File lengths and stamps from every backend on a real tree.
#include <gtest/gtest.h>

#include "contract_support.h"
#include "model/runtime_error.h"

namespace tidwen::contract {
namespace {

using test::ErrorOf;

class ContractFileLength : public PlatformTest {
 protected:
  std::int64_t FileLen(std::string_view path) { return platform_->FileLength().FileLen(path); }
};
CONTRACT_SUITE(ContractFileLength);

TEST_P(ContractFileLength, LengthsAreExactPast32BitsWhetherListedOrNot) {
  const std::int64_t big = (std::int64_t{5} << 30) + 7;
  MakeSparseFile(tree_, "d/big.tmp", big);
  tree_.File("d/small.tmp", "12345");
  tree_.File("d/empty.tmp", "");
  for (bool listed : {false, true}) {
    if (listed) {
      dir1_.SetPath("c:\\d");
      file1_.SetPath("c:\\d");
    }
    EXPECT_EQ(FileLen("c:\\d\\big.tmp"), big) << listed;
    EXPECT_EQ(FileLen("c:\\d\\small.tmp"), 5) << listed;
    EXPECT_EQ(FileLen("C:\\d\\small.tmp"), 5) << listed;
    EXPECT_EQ(FileLen("c:\\d\\empty.tmp"), 0) << listed;
  }
}

TEST_P(ContractFileLength, WhatIsNoFileIs53AndAMalformedPath52) {
  tree_.File("real.tmp");
  tree_.Dir("dir.tmp");
  const struct {
    const char* path;
    int number;
  } rows[] = {
      {"c:\\missing.tmp", kFileNotFound},
      {"c:\\missing\\x.tmp", kFileNotFound},
      {"c:\\dir.tmp", kFileNotFound},
      {"c:\\", kFileNotFound},
      {"c:\\real.tmp\\x.tmp", kFileNotFound},
      {"", kBadFileName},
      {"real.tmp", kBadFileName},
      {"c:real.tmp", kBadFileName},
      {"q:\\real.tmp", kBadFileName},
      {"c:\\..", kBadFileName},
      {"c:\\dir.tmp/..\\real.tmp", kBadFileName},
      {"c:\\\\real.tmp", kBadFileName},
  };
  for (bool listed : {false, true}) {
    if (listed) file1_.SetPath("c:\\");
    for (const auto& row : rows) {
      EXPECT_EQ(ErrorOf([&] { FileLen(row.path); }), row.number) << row.path << " " << listed;
    }
  }
}

TEST_P(ContractFileLength, TheStampNamesTheFileLastMeasured) {
  EXPECT_FALSE(platform_->FileLength().LastStamp().known);
  tree_.File("empty.tmp", "");
  tree_.File("full.tmp", "data");
  const FileStamp empty = StampOf("c:\\empty.tmp");
  const FileStamp full = StampOf("c:\\full.tmp");
  EXPECT_TRUE(empty.known && empty.empty);
  EXPECT_TRUE(full.known && !full.empty);
  EXPECT_NE(full.inode, empty.inode);
  // Measured again, from the listing or not, the same file gives the same stamp.
  file1_.SetPath("c:\\");
  EXPECT_EQ(StampOf("c:\\full.tmp"), full);
  EXPECT_EQ(StampOf("c:\\empty.tmp"), empty);
  // A failed measurement leaves the last stamp.
  EXPECT_EQ(ErrorOf([&] { FileLen("c:\\none.tmp"); }), kFileNotFound);
  EXPECT_EQ(platform_->FileLength().LastStamp(), empty);
}

}  // namespace
}  // namespace tidwen::contract
