#include "rules/junk_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "memory_platform.h"
#include "model/runtime_error.h"

namespace tidwen::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class JunkRulesTest : public ::testing::Test {
 protected:
  void SetUp() override { Form_Load(p.context); }

  // Runs the file test on one path and returns the entries it added.
  std::vector<std::string> Test(const std::string& path, std::int64_t length = 1) {
    if (!p.tree.HasFile(path)) p.tree.AddFile(path, length);
    p.List1.Clear();
    p.context.CurrentPath = path;
    Printt(p.context);
    return p.List1.Texts();
  }

  void Unselect(std::initializer_list<int> types) {
    for (int t : types) p.List2.SetSelected(t, false);
  }

  MemoryPlatform p;
};

TEST_F(JunkRulesTest, FormLoadFillsSixteenSelectedTypesInTableOrder) {
  ASSERT_EQ(p.List2.ListCount(), 16);
  const char* labels[] = {"*.---", "*.??$", "*.??~", "*.bak", "*.chk", "*.fts", "*.gid", "*.old",
                          "*.tmp", "*._mp", "*.syd", "*.wbk", "*.xlk", "*.$$$", "*.@@@", "0字节"};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(p.List2.List(i), labels[i]) << i;
    EXPECT_TRUE(p.List2.Selected(i)) << i;
  }
  EXPECT_EQ(kJunkTypes[0].suffix, ".---");
  EXPECT_EQ(kJunkTypes[1].suffix, "$");
  EXPECT_EQ(kJunkTypes[14].suffix, ".@@@");
  EXPECT_EQ(kJunkTypes[15].suffix, "");
  EXPECT_FALSE(p.List1.Visible());
  EXPECT_FALSE(p.List3.Visible());
  EXPECT_TRUE(p.List2.Visible());
}

TEST_F(JunkRulesTest, SuffixMatchesAsListedOrUpperCaseOnly) {
  EXPECT_THAT(Test("c:\\data\\a.bak"), ElementsAre("c:\\data\\a.bak"));
  EXPECT_THAT(Test("c:\\data\\A.BAK"), ElementsAre("c:\\data\\A.BAK"));
  EXPECT_THAT(Test("c:\\data\\a.Bak"), IsEmpty());
  EXPECT_THAT(Test("c:\\data\\a.bAK"), IsEmpty());
  EXPECT_THAT(Test("c:\\data\\x._MP"), ElementsAre("c:\\data\\x._MP"));
  EXPECT_THAT(Test("c:\\data\\x._Mp"), IsEmpty());
  EXPECT_THAT(Test("c:\\data\\a.---"), ElementsAre("c:\\data\\a.---"));
  EXPECT_THAT(Test("c:\\data\\a.@@@"), ElementsAre("c:\\data\\a.@@@"));
}

TEST_F(JunkRulesTest, SuffixIsComparedAtTheVeryEndOnly) {
  EXPECT_THAT(Test("c:\\data\\a.----"), ElementsAre());
  EXPECT_THAT(Test("c:\\data\\a.bak.txt"), IsEmpty());
  EXPECT_THAT(Test("c:\\data\\.bak"), ElementsAre("c:\\data\\.bak"));
  EXPECT_THAT(Test("c:\\data\\tmp"), IsEmpty());
}

TEST_F(JunkRulesTest, LastCharacterTypesTakeAnyNameEndingInDollarOrTilde) {
  EXPECT_THAT(Test("c:\\data\\abc$"), ElementsAre("c:\\data\\abc$"));
  EXPECT_THAT(Test("c:\\data\\notes.txt~"), ElementsAre("c:\\data\\notes.txt~"));
  EXPECT_THAT(Test("c:\\data\\long.extension$"), ElementsAre("c:\\data\\long.extension$"));
}

TEST_F(JunkRulesTest, TripleDollarMatchesTwoTypesInDescendingOrder) {
  EXPECT_THAT(Test("c:\\data\\a.$$$"), ElementsAre("c:\\data\\a.$$$", "c:\\data\\a.$$$"));
  // Each entry is followed at once by its own repaint.
  EXPECT_THAT(p.List1.log,
              ElementsAre("c:\\data\\a.$$$", "|refresh", "c:\\data\\a.$$$", "|refresh"));
  Unselect({1});
  EXPECT_THAT(Test("c:\\data\\a.$$$"), ElementsAre("c:\\data\\a.$$$"));
  p.List2.SetSelected(1, true);
  Unselect({13});
  EXPECT_THAT(Test("c:\\data\\a.$$$"), ElementsAre("c:\\data\\a.$$$"));
}

TEST_F(JunkRulesTest, UnselectedTypeDoesNotMatch) {
  Unselect({8});
  EXPECT_THAT(Test("c:\\data\\a.tmp"), IsEmpty());
}

TEST_F(JunkRulesTest, ZeroLengthFileIsListedOnlyUnderTheEmptyType) {
  EXPECT_THAT(Test("c:\\data\\a.tmp", 0), ElementsAre("c:\\data\\a.tmp"));
  EXPECT_THAT(Test("c:\\data\\plain.txt", 0), ElementsAre("c:\\data\\plain.txt"));
  EXPECT_THAT(Test("c:\\data\\b.$$$", 0), ElementsAre("c:\\data\\b.$$$"));
  Unselect({15});
  EXPECT_THAT(Test("c:\\data\\a.tmp", 0), IsEmpty());
}

TEST_F(JunkRulesTest, EntriesRememberWhichFileTheyWereFoundAs) {
  Test("c:\\data\\a.tmp", 0);
  const FileStamp stamp = p.List1.Stamp(0);
  EXPECT_TRUE(stamp.known);
  EXPECT_TRUE(stamp.empty);
  EXPECT_EQ(stamp.inode, p.tree.FindFile("c:\\data\\a.tmp")->inode);
}

TEST_F(JunkRulesTest, LengthIsQueriedOncePerMatchAndOnceMoreForEveryFile) {
  Test("c:\\data\\plain.txt");
  EXPECT_EQ(p.FileLength.queries.size(), 1u);
  p.FileLength.queries.clear();
  Test("c:\\data\\a.bak");
  EXPECT_EQ(p.FileLength.queries.size(), 2u);
  p.FileLength.queries.clear();
  Test("c:\\data\\a.$$$");
  EXPECT_EQ(p.FileLength.queries.size(), 3u);

  // With no type selected nothing is added, but the length is still read.
  for (int t = 0; t < 16; ++t) p.List2.SetSelected(t, false);
  p.FileLength.queries.clear();
  EXPECT_THAT(Test("c:\\data\\a.$$$"), IsEmpty());
  EXPECT_THAT(p.FileLength.queries, ElementsAre("c:\\data\\a.$$$"));
}

TEST_F(JunkRulesTest, VanishedFileFailsTheTestEvenWithNothingSelected) {
  p.context.CurrentPath = "c:\\data\\gone.txt";
  for (int t = 0; t < 16; ++t) p.List2.SetSelected(t, false);
  try {
    Printt(p.context);
    FAIL() << "expected a runtime error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), kFileNotFound);
  }
}

TEST_F(JunkRulesTest, FailureAfterAMatchKeepsTheEntriesAlreadyAdded) {
  // The suffix queries succeed; the final query for every file fails.
  p.tree.AddFile("c:\\data\\a.$$$", 5);
  p.context.CurrentPath = "c:\\data\\a.$$$";
  struct FailingThird : FileLengthService {
    FileLengthService& inner;
    int calls = 0;
    explicit FailingThird(FileLengthService& s) : inner(s) {}
    std::int64_t FileLen(std::string_view path) override {
      if (++calls == 3) throw RuntimeError(kDeviceIo);
      return inner.FileLen(path);
    }
  } failing(p.FileLength);
  Form1Context context = MakeForm1Context({p.List1, p.List2, p.List3, p.Label1, p.Drive1},
                                          {p.Dir1, p.File1, failing, p.FileSystem}, p.MessageBox);
  context.CurrentPath = p.context.CurrentPath;
  EXPECT_THROW(Printt(context), RuntimeError);
  EXPECT_EQ(p.List1.ListCount(), 2);
  EXPECT_EQ(context.CurrentPath, "c:\\data\\a.$$$");
}

}  // namespace
}  // namespace tidwen::test
