// The command line lists exactly what the window lists on the same drive:
// the same entries, in the same order, with the same checks.
#include <QTreeWidget>

#include "gui_test_support.h"
#include "rules/junk_types.h"
#include "run_program.h"

namespace tidwen::test {
namespace {

class CliAndWindowTest : public WindowTest {};

TEST_F(CliAndWindowTest, TheCommandLineListsWhatTheWindowLists) {
  for (const char* f :
       {"a.tmp", "z.$$$", "d/b.bak", "d/e/c.old", "d/e/f/g.@@@", "x/y/z.chk", "sp ace/k.---",
        "\xff\xfe.tmp", "line\nbreak.tmp", "d/.hidden.tmp", "node_modules/m.tmp"}) {
    tree_.MakeFile(f, "data");
  }
  tree_.MakeFiles({"empty.txt", "d/e/empty.log", "pkg/__init__.py"});
  tree_.MakeFile("keep.txt", "data");
  tree_.MakeFile("ro.bak", "data", 0444);
  tree_.MakeSymlink("link.tmp", tree_.Path("a.tmp"));
  tree_.MakeFifo("fifo.tmp");

  ShownForm();
  List("List2").SetSelected(13, false);  // *.$$$: z.$$$ is listed once, as *.??$
  Click("Command1");
  std::vector<std::string> window = Entries("List1");
  ASSERT_EQ(window.size(), 12u) << "one each but the hidden, the never offered and the links";

  // The window shows the tree as drive c:; the command line sees it where
  // it lies, a folder of the system's drives.
  const std::unique_ptr<Platform> system = MakeSystemPlatform();
  const std::optional<std::string> where = system->DrivePathOf(tree_.Root());
  if (!where) GTEST_SKIP() << tree_.Root() << " lies on no drive (a memory filesystem?)";
  std::string types;
  for (int t = 0; t < kJunkTypeCount; ++t) {
    if (t != 13) types += std::string(types.empty() ? "" : ",") + std::string(kJunkTypes[t].label);
  }
  const RunResult cli = RunProgram(TIDWEN_CLI_EXE, {"scan", "--types", types, tree_.Root()}, {});
  ASSERT_EQ(cli.exitCode, 0) << cli.err;
  for (std::string& entry : window) entry = *where + entry.substr(2);
  std::string expected;
  for (const std::string& entry : window) expected += entry + "\n";
  EXPECT_EQ(cli.out, expected);
}

}  // namespace
}  // namespace tidwen::test
