// What the platform says of a listed file: its real path, size and last
// write, never those of what a link at its end points to.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "support/temp_tree.h"

namespace tidwen::test {
namespace {

TEST(DescribeFileTest, SizeAndTimeOfTheFileItselfNotOfWhatALinkPointsTo) {
  TempTree tree;
  tree.MakeFile("big.tmp", std::string(5000, 'x'));
  tree.MakeSymlink("link.tmp", tree.Path("big.tmp"));
  const std::unique_ptr<Platform> platform = MakeDirectoryPlatform(tree.Root());

  const std::optional<FileFacts> file = platform->DescribeFile("c:\\big.tmp");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->systemPath, tree.Path("big.tmp"));
  EXPECT_EQ(file->size, 5000);
  struct stat info {};
  ASSERT_EQ(::stat(tree.Path("big.tmp").c_str(), &info), 0);
  EXPECT_EQ(file->modified, info.st_mtime);

  const std::optional<FileFacts> link = platform->DescribeFile("c:\\link.tmp");
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->size, static_cast<std::int64_t>(tree.Path("big.tmp").size()));

  EXPECT_EQ(platform->DescribeFile("c:\\gone.tmp"), std::nullopt);
  EXPECT_EQ(platform->DescribeFile("q:\\big.tmp"), std::nullopt);
}

}  // namespace
}  // namespace tidwen::test
