// A directory of the system shown as drive c:, on every backend.
#include <gtest/gtest.h>

#include "contract_support.h"

namespace tidwen::contract {
namespace {

class ContractDirectoryPlatform : public PlatformTest {};
CONTRACT_SUITE(ContractDirectoryPlatform);

TEST_P(ContractDirectoryPlatform, TheTreeIsTheOnlyDriveAndPathsMapBothWays) {
  tree_.Dir("sub");
  const std::vector<DriveInfo> drives = platform_->Drives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].letter, 'c');
  EXPECT_EQ(platform_->SystemPathOf("c:\\sub"), tree_.Path("sub").string());
  EXPECT_EQ(platform_->SystemPathOf("C:\\sub"), tree_.Path("sub").string());
  EXPECT_EQ(platform_->SystemPathOf("d:\\sub"), std::nullopt);
  EXPECT_EQ(platform_->DrivePathOf(tree_.Path("sub").string()), "c:\\sub");
  EXPECT_EQ(platform_->DrivePathOf(tree_.Root()), "c:\\");
  EXPECT_EQ(platform_->DrivePathOf(tree_.Root() + "x"), std::nullopt);
}

}  // namespace
}  // namespace tidwen::contract
