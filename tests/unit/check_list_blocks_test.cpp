// The block storage of CheckList: entries and texts that cross block
// boundaries, texts longer than a block, a list fed its own texts, and what
// a long list costs beyond its texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/check_list.h"

namespace tidwen {
namespace {

// A text of varied length for entry i, now and then empty or longer than a
// whole text block.
std::string TextFor(int i) {
  if (i % 997 == 0) return std::string(70000 + i % 13, static_cast<char>('a' + i % 26));
  if (i % 101 == 0) return {};
  return "c:\\dir" + std::to_string(i % 37) + "\\" +
         std::string(static_cast<std::size_t>(i % 90), 'x') + std::to_string(i) + ".tmp";
}

FileStamp StampFor(int i) {
  // A few devices, as a scan over several mounts would see.
  return FileStamp{static_cast<std::uint64_t>(100 + i % 3),
                   static_cast<std::uint64_t>(i),
                   i % 5 == 0,
                   i % 7 != 0,
                   static_cast<StampIdentity>(i % 3),
                   static_cast<std::uint64_t>(i) * 0x9e3779b97f4a7c15ULL};
}

void ExpectMatches(const CheckList& list, const std::vector<int>& ids) {
  ASSERT_EQ(list.Count(), static_cast<std::int64_t>(ids.size()));
  for (std::size_t k = 0; k < ids.size(); ++k) {
    const int id = ids[k];
    ASSERT_EQ(list.Text(static_cast<std::int64_t>(k)), TextFor(id)) << "entry " << k;
    const FileStamp expected = StampFor(id).known ? StampFor(id) : FileStamp{};
    ASSERT_EQ(list.Stamp(static_cast<std::int64_t>(k)), expected) << "entry " << k;
    ASSERT_EQ(list.Selected(static_cast<std::int64_t>(k)), id % 3 == 0) << "entry " << k;
  }
}

TEST(CheckListBlocksTest, EntriesKeepTheirOrderAcrossBlockBoundaries) {
  CheckList list;
  std::vector<int> ids;
  for (int i = 0; i < 5000; ++i) {
    list.Append(TextFor(i), StampFor(i));
    if (i % 3 == 0) list.SetSelected(i, true);
    ids.push_back(i);
  }
  ExpectMatches(list, ids);

  // Removals at and around the block edges, at the front and at the end.
  for (std::int64_t at : {std::int64_t{1024}, std::int64_t{1023}, std::int64_t{0},
                          std::int64_t{4996}, std::int64_t{2047}, std::int64_t{2048}}) {
    list.Remove(at);
    ids.erase(ids.begin() + at);
  }
  ExpectMatches(list, ids);

  // Inserts have no stamp; give them ids whose stamp is unknown.
  list.Insert(1024, TextFor(7));
  ids.insert(ids.begin() + 1024, 7);
  list.Insert(list.Count(), TextFor(14));
  ids.push_back(14);
  list.Insert(0, TextFor(21));
  ids.insert(ids.begin(), 21);
  for (std::size_t k = 0; k < ids.size(); ++k) {
    if (ids[k] % 7 == 0) list.SetSelected(static_cast<std::int64_t>(k), ids[k] % 3 == 0);
  }
  ExpectMatches(list, ids);

  // Emptying the list from the front, then from the end, leaves it usable.
  while (list.Count() > 2500) {
    list.Remove(0);
    ids.erase(ids.begin());
  }
  ExpectMatches(list, ids);
  while (list.Count() > 0) list.Remove(list.Count() - 1);
  list.Append("again");
  EXPECT_EQ(list.Text(0), "again");
}

TEST(CheckListBlocksTest, AListCanBeFedItsOwnTexts) {
  CheckList list;
  list.Append("c:\\a\\first.tmp");
  // Each append may move the block that holds the text it copies.
  for (int i = 0; i < 20000; ++i) list.Append(list.Text(i / 2));
  for (std::int64_t i = 0; i < list.Count(); ++i) ASSERT_EQ(list.Text(i), "c:\\a\\first.tmp");
}

TEST(CheckListBlocksTest, EmptyTextsOutliveTheBlocksBesideThem) {
  CheckList list;
  list.Append("");
  list.Append("x");
  list.Append("");
  list.Remove(1);  // frees the only text there was
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Text(0), "");
  EXPECT_EQ(list.Text(1), "");
  // Compaction after many removals keeps the empty texts empty.
  const std::string big(2000, 'y');
  for (int i = 0; i < 3000; ++i) list.Append(big);
  list.Append("");
  for (int i = 0; i < 2990; ++i) list.Remove(2);
  ASSERT_EQ(list.Count(), 13);
  EXPECT_EQ(list.Text(0), "");
  EXPECT_EQ(list.Text(2), big);
  EXPECT_EQ(list.Text(12), "");
}

// A scan's lists grow to hundreds of thousands of entries; whatever their
// length, each entry costs at most 48 bytes beyond its text.
TEST(CheckListBlocksTest, LongListsCostLittleBeyondTheirTexts) {
  CheckList list;
  std::int64_t next = 0;
  for (std::int64_t size : {1500, 33000, 66000, 131073, 300000}) {
    for (; next < size; ++next) {
      list.Append("c:\\d" + std::to_string(next % 1000) + "\\f" + std::to_string(next) + ".tmp",
                  FileStamp{1, static_cast<std::uint64_t>(next), false, true});
    }
    EXPECT_LE(static_cast<double>(list.OverheadBytes()) / static_cast<double>(list.Count()), 48.0)
        << size << " entries";
  }
  // Emptied from the end, as a deletion of every entry does, the list gives
  // its blocks back: what stays is a block or two, not the room of 300000.
  while (list.Count() > 10) list.Remove(list.Count() - 1);
  EXPECT_LT(list.OverheadBytes(), 200000u);
}

}  // namespace
}  // namespace tidwen
