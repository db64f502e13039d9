// How a directory shown as c: over the Windows platform maps its paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows/directory_platform.h"

namespace tidwen {
namespace {

TEST(DriveMappingTest, PathsMapBothWays) {
  const DriveMapping map("d:\\trees\\x");
  struct Row {
    std::string shown, real;
  };
  const std::vector<Row> rows = {
      {"c:\\", "d:\\trees\\x"},
      {"c:\\a", "d:\\trees\\x\\a"},
      {"c:\\a\\b.tmp", "d:\\trees\\x\\a\\b.tmp"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(map.ToReal(row.shown), row.real) << row.shown;
    EXPECT_EQ(map.ToShown(row.real), row.shown) << row.real;
  }
  EXPECT_EQ(map.ToReal("C:\\a"), "d:\\trees\\x\\a");
  EXPECT_EQ(map.ToShown("D:\\trees\\x\\a"), "c:\\a");
  // Paths outside go on as they are.
  EXPECT_EQ(map.ToReal("e:\\a"), "e:\\a");
  EXPECT_EQ(map.ToShown("d:\\trees\\xy"), "d:\\trees\\xy");
  EXPECT_EQ(map.ToShown("d:\\other"), "d:\\other");

  const DriveMapping root("e:\\");
  EXPECT_EQ(root.ToReal("c:\\"), "e:\\");
  EXPECT_EQ(root.ToReal("c:\\a"), "e:\\a");
  EXPECT_EQ(root.ToShown("e:\\"), "c:\\");
  EXPECT_EQ(root.ToShown("e:\\a"), "c:\\a");
}

}  // namespace
}  // namespace tidwen
