#include "model/check_list.h"

#include <gtest/gtest.h>

#include <memory>

#include "error_of.h"
#include "model/runtime_error.h"

namespace tidwen {
namespace {

TEST(CheckListTest, KeepsTextsStampsAndFlagsThroughInsertsAndRemovals) {
  CheckList list;
  list.Append("b");
  list.Append("d", FileStamp{7, 9, true, true});
  list.Insert(0, "a");
  list.Insert(2, "c");
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Text(0), "a");
  EXPECT_EQ(list.Text(2), "c");
  EXPECT_EQ(list.Text(3), "d");
  EXPECT_EQ(list.Stamp(3), (FileStamp{7, 9, true, true}));
  EXPECT_FALSE(list.Stamp(0).known);
  list.SetSelected(3, true);
  list.Remove(1);
  EXPECT_EQ(list.Text(1), "c");
  EXPECT_TRUE(list.Selected(2));
  EXPECT_FALSE(list.Selected(1));
  list.SelectAll();
  EXPECT_TRUE(list.Selected(0));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

// A copy of entries of another list, as the delete command takes the
// checked results: the same texts and stamps, unselected, whether an entry
// is a text or a path in an arena, and the list copied from untouched.
TEST(CheckListTest, AppendEntryCopiesTextsAndPathEntries) {
  auto arena = std::make_shared<PathArena>();
  const PathArena::Index dir = arena->AddChild(arena->AddRoot("c:\\"), "docs");
  CheckList from;
  from.Append("c:\\a.tmp", FileStamp{1, 2, false, true});
  from.AppendPath({arena, dir, "b.bak"}, FileStamp{3, 4, true, true});
  from.SelectAll();
  CheckList copy;
  for (std::int64_t i = from.Count() - 1; i >= 0; --i) copy.AppendEntry(from, i);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.Text(0), "c:\\docs\\b.bak");
  EXPECT_EQ(copy.Stamp(0), (FileStamp{3, 4, true, true}));
  EXPECT_EQ(copy.Text(1), "c:\\a.tmp");
  EXPECT_EQ(copy.Stamp(1), (FileStamp{1, 2, false, true}));
  EXPECT_FALSE(copy.Selected(0) || copy.Selected(1));
  EXPECT_TRUE(from.Selected(0) && from.Selected(1));
  EXPECT_EQ(from.Text(1), "c:\\docs\\b.bak");
}

TEST(CheckListTest, RejectsIndicesOutsideTheList) {
  CheckList list;
  list.Append("x");
  EXPECT_THROW(list.Text(1), RuntimeError);
  EXPECT_THROW(list.Remove(-1), RuntimeError);
  EXPECT_THROW(list.Insert(3, "y"), RuntimeError);
  EXPECT_EQ(test::ErrorOf([&] { list.SetSelected(5, true); }), kInvalidCall);
}

TEST(CheckListTest, TextsSurviveCompactionAfterManyRemovals) {
  CheckList list;
  const std::string big(1000, 'x');
  for (int i = 0; i < 5000; ++i) list.Append(big + std::to_string(i));
  // Removing from the front wastes text until the buffer is compacted.
  for (int i = 0; i < 4000; ++i) list.Remove(0);
  ASSERT_EQ(list.Count(), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(list.Text(i), big + std::to_string(4000 + i));
  EXPECT_LT(list.OverheadBytes(), 5000u * 1100u);
}

TEST(CheckListTest, EntryCostStaysSmall) {
  CheckList list;
  for (int i = 0; i < 100000; ++i) list.Append("c:\\some\\path.tmp");
  const double perEntry = static_cast<double>(list.OverheadBytes()) / list.Count();
  EXPECT_LE(perEntry, 48.0);
}

}  // namespace
}  // namespace tidwen
