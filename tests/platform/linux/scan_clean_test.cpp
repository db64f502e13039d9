// A scan over the Linux platform on a real tree that changes under the walk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux_test_support.h"
#include "real_form.h"
#include "scan/drive_walk.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Removes a directory of the tree when the walk opens another one, as if it
// vanished between being queued and being visited.
class VanishingSysCalls : public ScriptedSysCalls {
 public:
  VanishingSysCalls(TempTree& tree, std::string trigger, std::string victim)
      : tree_(tree), trigger_(std::move(trigger)), victim_(std::move(victim)) {}
  int OpenAt2(int dirFd, const char* path, const open_how& how) override {
    if (std::string_view(path) == trigger_ && tree_.Exists(victim_)) tree_.Remove(victim_);
    return ScriptedSysCalls::OpenAt2(dirFd, path, how);
  }

 private:
  TempTree& tree_;
  std::string trigger_;
  std::string victim_;
};

TEST(ScanRealTree, DirectoryThatVanishesMidWalkIsSkipped) {
  TempTree tree;
  tree.MakeFiles({"a/a.tmp", "b/b.tmp", "b/sub/s.tmp", "c/c.tmp"}, "1");
  VanishingSysCalls sys(tree, "a", "b");
  RealForm form(tree, sys);

  Command1_Click(form.context);

  EXPECT_THAT(form.Results(), ElementsAre("c:\\a\\a.tmp", "c:\\c\\c.tmp"));
  EXPECT_EQ(form.Label1.Caption(), "共找到 2个垃圾文件");
  EXPECT_THAT(form.MessageBox.boxes, IsEmpty());
}

}  // namespace
}  // namespace tidwen::test
