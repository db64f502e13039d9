#include "frontend/common/form1_commands.h"

#include <gtest/gtest.h>

#include "memory_platform.h"
#include "rules/junk_rules.h"

namespace tidwen::test {
namespace {

class Form1CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { Form_Load(p.context); }
  MemoryPlatform p;
};

// Select all, in either view, from several starting marks of the types.
TEST_F(Form1CommandsTest, SelectAllChecksResultsAndTheFifteenSuffixTypes) {
  struct Case {
    const char* name;
    int results;
    bool zeroLengthBefore;
  };
  for (const Case& c : {Case{"types view, zero-length unchecked", 0, false},
                        Case{"results view, three results", 3, true},
                        Case{"results view, zero-length unchecked", 2, false}}) {
    SCOPED_TRACE(c.name);
    p.List1.Clear();
    for (int i = 0; i < c.results; ++i) p.List1.AddItem("c:\\x" + std::to_string(i) + ".tmp");
    for (int t = 0; t < 16; ++t) p.List2.SetSelected(t, false);
    p.List2.SetSelected(kZeroLengthType, c.zeroLengthBefore);

    Command5_Click(p.context);

    for (int i = 0; i < c.results; ++i) EXPECT_TRUE(p.List1.Selected(i)) << i;
    for (int t = 0; t < kZeroLengthType; ++t) EXPECT_TRUE(p.List2.Selected(t)) << t;
    EXPECT_EQ(p.List2.Selected(kZeroLengthType), c.zeroLengthBefore);
  }
}

TEST_F(Form1CommandsTest, ChooseTypesShowsTheTypesViewAndEmptiesOnlyResultsAndQueue) {
  // As after a scan: the results view, with results and queued directories.
  for (Control* hidden : std::initializer_list<Control*>{&p.Dir1, &p.Drive1, &p.File1, &p.List2})
    hidden->SetVisible(false);
  p.List1.SetVisible(true);
  p.List1.AddItem("c:\\a.bak");
  p.List3.AddItem("c:\\a");
  p.List2.SetSelected(3, false);
  p.Label1.SetCaption("共找到 1个垃圾文件");

  for (int press = 0; press < 2; ++press) {
    SCOPED_TRACE(press);
    Command3_Click(p.context);
    EXPECT_TRUE(p.Dir1.Visible());
    EXPECT_TRUE(p.Drive1.Visible());
    EXPECT_TRUE(p.File1.Visible());
    EXPECT_TRUE(p.List2.Visible());
    EXPECT_FALSE(p.List1.Visible());
    EXPECT_FALSE(p.List3.Visible());
    EXPECT_EQ(p.List1.ListCount(), 0);
    EXPECT_EQ(p.List3.ListCount(), 0);
    EXPECT_EQ(p.List2.ListCount(), 16);
    EXPECT_FALSE(p.List2.Selected(3));
    EXPECT_TRUE(p.List2.Selected(4));
    EXPECT_EQ(p.Label1.Caption(), "共找到 1个垃圾文件");
  }
}

}  // namespace
}  // namespace tidwen::test
