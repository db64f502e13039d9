// Replays file names kept from fuzzing through the real-file check of the
// file-name fuzz target: listed exactly when visible, measured and deleted by
// their drive path, and nothing else touched.
#include <gtest/gtest.h>

#include <string>

#include "support/fuzz_checks.h"
#include "support/temp_tree.h"

namespace tidwen {
namespace {

TEST(FuzzNameRegressions, KeptNamesAreAddressedExactlyAndAlone) {
  const std::vector<test::KeptInput> names = test::KeptInputs(test::FuzzSourceDir(), "file_name");
  ASSERT_FALSE(names.empty()) << "no seed in " << test::FuzzSourceDir() << "/corpus/file_name";
  test::TempTree tree;
  test::FileNameCheck check(tree.Root());
  for (const test::KeptInput& name : names) {
    EXPECT_TRUE(test::FileNameCheck::Applies(name.bytes)) << name.file << " is no file name";
    EXPECT_EQ(check.Check(name.bytes), "") << name.file;
  }
}

// Paths and display texts make odd names as well; those that are names at all
// go through the same check.
TEST(FuzzNameRegressions, OtherKeptInputsAsNames) {
  test::TempTree tree;
  test::FileNameCheck check(tree.Root());
  int checked = 0;
  for (const char* target : {"drive_path", "display_text"}) {
    for (const test::KeptInput& input : test::KeptInputs(test::FuzzSourceDir(), target)) {
      if (!test::FileNameCheck::Applies(input.bytes)) continue;
      EXPECT_EQ(check.Check(input.bytes), "") << input.file;
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace tidwen
