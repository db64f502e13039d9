// A program that saves by renaming a new file over the junk's name, at the
// very moment the deletion runs, keeps its new file whole: the deletion
// removes only the file that was checked, on filesystems with and without
// RENAME_NOREPLACE and hard links.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fault_support.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// When the other program's save lands.
enum class Moment {
  kBeforeTheMove,    // the name already leads to the new file when it is moved aside
  kBeforeTheUnlink,  // the checked file is aside; the new one takes the free name
  kNameTakenAgain,   // as kBeforeTheMove, and a third file takes the name before it is put back
};

struct Filesystem {
  const char* name;
  bool noReplace;  // renameat2 takes RENAME_NOREPLACE
  bool links;      // hard links can be made
};

// Saves content under name in the directory at dir the way editors do: a
// new file, renamed over the name.
void SaveByRename(const TempTree& tree, const std::string& name, const std::string& content) {
  const std::string temporary = tree.Path("d/" + name + ".new");
  FILE* f = std::fopen(temporary.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(content.c_str(), f);
  std::fclose(f);
  ASSERT_EQ(std::rename(temporary.c_str(), tree.Path("d/" + name).c_str()), 0);
}

// The names beginning ".tidwen-" in the directory at relative.
std::vector<std::string> AsideNamesIn(const TempTree& tree, const std::string& relative) {
  std::vector<std::string> aside;
  for (const std::string& name : tree.Names(relative)) {
    if (name.rfind(".tidwen-", 0) == 0) aside.push_back(name);
  }
  return aside;
}

TEST(LinuxCheckedUnlink, ARenameOverTheNameDuringTheDeletionKeepsTheNewFile) {
  const Filesystem filesystems[] = {{"local", true, true},
                                    {"no RENAME_NOREPLACE", false, true},
                                    {"no RENAME_NOREPLACE, no links", false, false}};
  for (const Filesystem& fs : filesystems) {
    for (const Moment moment :
         {Moment::kBeforeTheMove, Moment::kBeforeTheUnlink, Moment::kNameTakenAgain}) {
      SCOPED_TRACE(std::string(fs.name) + ", moment " + std::to_string(static_cast<int>(moment)));
      TempTree tree;
      tree.MakeFile("d/settings.bak", "old");
      tree.MakeFile("d/other.tmp", "1");
      TriggerSysCalls sys;
      sys.RefuseRenameFlags(!fs.noReplace);
      if (!fs.links) sys.Fail(Op::kLinkAt, EPERM);
      RealForm form(tree, sys);
      ScanAndSelectAll(form);
      ASSERT_THAT(form.Results(), ElementsAre("c:\\d\\other.tmp", "c:\\d\\settings.bak"));

      const auto save = [&] { SaveByRename(tree, "settings.bak", "new"); };
      if (moment == Moment::kBeforeTheUnlink) {
        // The first unlink of the batch is settings.bak's, under the name it
        // was moved to (the list is deleted from its end).
        sys.When(Op::kUnlinkAt, "", save);
      } else {
        // Just before the name is moved aside; a deletion that unlinked
        // the name itself would meet the save just before its unlink.
        sys.When(Op::kRenameAt2, "settings.bak", save);
        sys.When(Op::kUnlinkAt, "settings.bak", save);
      }
      if (moment == Moment::kNameTakenAgain) {
        sys.WhenRenamedTo("settings.bak", [&] { SaveByRename(tree, "settings.bak", "third"); });
      }
      DeleteConfirmed(form);

      EXPECT_FALSE(tree.Exists("d/other.tmp"));
      switch (moment) {
        case Moment::kBeforeTheMove:
          // The new file went back under its name; the old one went with
          // the save.
          EXPECT_THAT(FailureBoxes(form), ElementsAre("不能删除文件c:\\d\\settings.bak"));
          EXPECT_THAT(form.Results(), ElementsAre("c:\\d\\settings.bak"));
          EXPECT_EQ(tree.ReadFile("d/settings.bak"), "new");
          EXPECT_THAT(AsideNamesIn(tree, "d"), IsEmpty());
          break;
        case Moment::kBeforeTheUnlink:
          // The checked file is deleted, as asked; the new one is whole.
          EXPECT_THAT(FailureBoxes(form), IsEmpty());
          EXPECT_THAT(form.Results(), IsEmpty());
          EXPECT_EQ(tree.ReadFile("d/settings.bak"), "new");
          EXPECT_THAT(AsideNamesIn(tree, "d"), IsEmpty());
          break;
        case Moment::kNameTakenAgain: {
          // Both kept: the third file under the name, the new one beside it.
          EXPECT_THAT(FailureBoxes(form), ElementsAre("不能删除文件c:\\d\\settings.bak"));
          EXPECT_THAT(form.Results(), ElementsAre("c:\\d\\settings.bak"));
          EXPECT_EQ(tree.ReadFile("d/settings.bak"), "third");
          const std::vector<std::string> aside = AsideNamesIn(tree, "d");
          ASSERT_EQ(aside.size(), 1u);
          EXPECT_EQ(tree.ReadFile("d/" + aside[0]), "new");
          break;
        }
      }
    }
  }
}

// The move aside, refused or failing, leaves the file under its name and
// says why.
TEST(LinuxCheckedUnlink, AMoveAsideThatFailsLeavesTheFileAndGivesItsNumber) {
  const struct {
    int err;
    bool plainRenameToo;  // the plain rename fails as well
    int number;
  } cases[] = {{ENOENT, false, kFileNotFound},    {EACCES, false, kPermissionDenied},
               {EBUSY, false, kFileBusy},         {EIO, false, kDeviceIo},
               {EINVAL, true, kPermissionDenied}, {ENOSYS, true, kPermissionDenied}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::strerror(c.err));
    TempTree tree;
    tree.MakeFile("x.tmp", "1");
    ScriptedSysCalls sys;
    LinuxPlatform platform(DriveTable({Drive{'c', tree.Root(), ""}}), sys);
    sys.Fail(Op::kRenameAt2, c.err, "x.tmp", 0);
    EXPECT_EQ(ErrorOf([&] {
                platform.FileSystem().CreateFileSystemObject()->GetFile("c:\\x.tmp", {})->Delete();
              }),
              c.number);
    EXPECT_THAT(tree.Names(""), ElementsAre("x.tmp"));
    // Every rename tried, the plain one included where the flags were
    // refused, named x.tmp.
    EXPECT_EQ(sys.Count(Op::kRenameAt2), c.plainRenameToo ? 2 : 1);
  }
}

}  // namespace
}  // namespace tidwen::test
