#include "rules/never_offered.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "memory_platform.h"
#include "rules/junk_rules.h"

namespace tidwen::test {
namespace {

TEST(NeverOfferedTest, TreesMatchTheirNameUnderTheirParentsNames) {
  struct Case {
    const char* parent;
    const char* name;
    bool ignoreCase;
    bool kept;
  };
  const Case cases[] = {
      // One name, anywhere, the root's children included.
      {"c:\\", ".git", false, true},
      {"d:\\src\\app", "node_modules", false, true},
      {"d:\\src\\app", "Node_Modules", false, false},
      {"d:\\src\\app", "Node_Modules", true, true},
      {"c:\\home\\u", ".rustup", false, true},
      // Leading names must be the parents' last names, nearest last.
      {"c:\\home\\u\\go\\pkg", "mod", false, true},
      {"c:\\home\\u\\pkg", "mod", false, false},
      {"c:\\home\\u\\go", "mod", false, false},
      {"c:\\go\\pkg", "mod", false, true},
      {"c:\\", "mod", false, false},
      {"c:\\home\\u\\.cargo", "registry", false, true},
      {"c:\\home\\u\\.m2", "repository", false, true},
      {"c:\\home\\u\\.gradle", "caches", false, true},
      {"c:\\home\\u\\.gradle", "wrapper", false, false},
      {"c:\\home\\u\\.pyenv", "versions", false, true},
      {"c:\\home\\u\\.nvm", "versions", false, true},
      {"c:\\home\\u\\.conda", "pkgs", false, true},
      {"c:\\home\\u\\miniconda3", "pkgs", false, true},
      {"c:\\home\\u\\anaconda", "pkgs", false, false},
      // "#" takes one or more digits, and nothing else.
      {"c:\\opt\\py\\lib", "python3.11", false, true},
      {"c:\\opt\\py\\lib", "python3.", false, false},
      {"c:\\opt\\py\\lib", "pythonX.Y", false, false},
      {"c:\\opt\\py\\lib", "python3.11x", false, false},
      {"c:\\opt\\py\\lib64", "python3.11", false, false},
      {"c:\\Users\\u\\Python311", "Lib", false, true},
      {"c:\\Users\\u\\python311", "lib", true, true},
      {"c:\\Users\\u\\python311", "lib", false, false},
      // A name that merely contains one is another name.
      {"c:\\", "my.git", false, false},
      {"c:\\", ".gitkeep", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsNeverOfferedTree(c.parent, c.name, c.ignoreCase), c.kept)
        << c.parent << " + " << c.name << (c.ignoreCase ? " (any case)" : "");
  }
}

TEST(NeverOfferedTest, EveryEntryHasAReasonAndFilesAreMatchedByNameAlone) {
  for (const NeverOffered& entry : kNeverOffered) {
    EXPECT_FALSE(entry.reason.empty()) << entry.names;
    if (entry.match == OfferMatch::kFileName) {
      EXPECT_TRUE(IsNeverOfferedFile(entry.names)) << entry.names;
      EXPECT_FALSE(IsNeverOfferedTree("c:\\", entry.names)) << entry.names;
    }
  }
  EXPECT_FALSE(IsNeverOfferedFile("__init__.py.bak"));
  EXPECT_FALSE(IsNeverOfferedFile("__INIT__.PY"));
  EXPECT_TRUE(IsNeverOfferedFile("__INIT__.PY", true));
}

// The file test measures such a file as any other, but never lists it, in
// any case of its name; its neighbours are listed as before.
TEST(NeverOfferedTest, TheFileTestNeverListsAnEmptyFileWhoseEmptinessIsItsMeaning) {
  MemoryPlatform p;
  Form_Load(p.context);
  for (const char* path : {"c:\\pkg\\__init__.py", "c:\\pkg\\__INIT__.PY", "c:\\pkg\\py.typed",
                           "c:\\site\\.nojekyll", "c:\\keep\\.gitkeep", "c:\\pkg\\other.py"}) {
    p.tree.AddFile(path, 0);
    p.context.CurrentPath = path;
    Printt(p.context);
  }
  EXPECT_THAT(p.List1.Texts(), ::testing::ElementsAre("c:\\pkg\\other.py"));
  EXPECT_EQ(p.FileLength.queries.size(), 6u);
}

}  // namespace
}  // namespace tidwen::test
