// What both front ends show alike: the text of a failed command, the drive
// list's texts and which drive stays chosen, and the directory list's rows.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "frontend/common/command_failure.h"
#include "frontend/common/file_system_rows.h"
#include "frontend/common/file_tooltip.h"
#include "model/runtime_error.h"

namespace tidwen::frontend {
namespace {

template <class E>
std::exception_ptr Thrown(E error) {
  return std::make_exception_ptr(std::move(error));
}

TEST(CommandFailureTest, TheNumberOfWhatWasThrown) {
  struct Row {
    std::exception_ptr error;
    std::string text;
  };
  const Row rows[] = {
      {Thrown(RuntimeError(53)), "发生错误53"},
      {Thrown(RuntimeError(-2147)), "发生错误-2147"},
      {Thrown(std::bad_alloc()), "发生错误7"},
      {Thrown(std::out_of_range("x")), "发生错误51"},
      {Thrown(42), "发生错误51"},
  };
  for (const Row& row : rows) EXPECT_EQ(FailedCommandText(row.error), row.text);
}

TEST(DriveTextTest, LetterColonThenTheNameInBrackets) {
  EXPECT_EQ(DriveText({'c', "/", "/", 1}), "c: [/]");
  EXPECT_EQ(DriveText({'z', "Z:\\", "\\\\server\\share", 1}), "z: [\\\\server\\share]");
  EXPECT_EQ(DriveText({'e', "E:\\", "\xe5\x9e\x83", 1}), "e: [\xe5\x9e\x83]");
  EXPECT_EQ(DriveText({'d', "D:\\", "", 1}), "d:");
}

TEST(DriveToKeepTest, TheSameDriveStaysChosenAndNoOtherTakesItsPlace) {
  const DriveInfo c{'c', "/", "/", 1}, d{'d', "/m/a", "/m/a", 2}, e{'e', "/m/b", "/m/b", 3};
  struct Row {
    std::optional<DriveInfo> before;
    std::vector<DriveInfo> now;
    int kept;
  };
  const Row rows[] = {
      {d, {c, d}, 1},
      {d, {c, e, d}, 2},                                   // moved down the list: still it
      {d, {c, DriveInfo{'d', "/m/a", "/m/a", 9}, e}, -1},  // another mount on d:
      {d, {c, DriveInfo{'f', "/m/a", "/m/a", 2}}, -1},     // another letter
      {d, {c}, -1},                                        // gone
      {std::nullopt, {c, d}, -1},                          // none was chosen
  };
  for (const Row& row : rows) EXPECT_EQ(DriveToKeep(row.before, row.now), row.kept);
}

class ListedDirectory : public DirListControl {
 public:
  ListedDirectory(std::string path, std::vector<std::string> children)
      : path_(std::move(path)), children_(std::move(children)) {}
  void SetVisible(bool) override {}
  bool Visible() const override { return true; }
  void SetPath(std::string_view path) override { path_ = path; }
  std::string Path() const override { return path_; }
  std::int64_t ListCount() const override { return static_cast<std::int64_t>(children_.size()); }
  std::string List(std::int64_t i) const override { return children_[static_cast<std::size_t>(i)]; }

 private:
  std::string path_;
  std::vector<std::string> children_;
};

TEST(DirRowsTest, AncestorsStepInThenTheChildrenOneDeeper) {
  struct Row {
    std::string path;
    std::vector<std::string> children;
    std::vector<DirRow> rows;
  };
  const Row rows[] = {
      {"c:\\",
       {"c:\\a", "c:\\b"},
       {{"c:\\", "c:\\", 0, true}, {"c:\\a", "a", 1, false}, {"c:\\b", "b", 1, false}}},
      {"c:\\a\\b c",
       {"c:\\a\\b c\\d"},
       {{"c:\\", "c:\\", 0, true},
        {"c:\\a", "a", 1, true},
        {"c:\\a\\b c", "b c", 2, true},
        {"c:\\a\\b c\\d", "d", 3, false}}},
      {"d:\\x", {}, {{"d:\\", "d:\\", 0, true}, {"d:\\x", "x", 1, true}}},
      {"", {"c:\\a"}, {}},  // no directory open
  };
  for (const Row& row : rows) {
    const ListedDirectory lister(row.path, row.children);
    EXPECT_EQ(DirRows(lister), row.rows) << row.path;
  }
}

TEST(ExplorerSizeTest, BytesUnderAKilobyteElseOneDecimalOfTheUnitThenTheBytes) {
  struct Row {
    std::int64_t bytes;
    std::string text;
  };
  const Row rows[] = {
      {0, "0 字节"},
      {512, "512 字节"},
      {1023, "1,023 字节"},
      {1024, "1.0 KB (1,024 字节)"},
      {1536, "1.5 KB (1,536 字节)"},
      {1048575, "1023.9 KB (1,048,575 字节)"},  // cut, never "1024.0 KB"
      {20971520, "20.0 MB (20,971,520 字节)"},
      {5368709120, "5.0 GB (5,368,709,120 字节)"},
      {3298534883328, "3.0 TB (3,298,534,883,328 字节)"},
      {2251799813685248, "2048.0 TB (2,251,799,813,685,248 字节)"},
  };
  for (const Row& row : rows) EXPECT_EQ(ExplorerSize(row.bytes), row.text) << row.bytes;
}

TEST(FileToolTipTest, WhereTheFileIsItsSizeAndWhenOrThatItIsGone) {
  const FileFacts facts{"/home/u/a.tmp", 2048, 0};
  EXPECT_EQ(FileToolTip("c:\\home\\u\\a.tmp", facts, std::nullopt),
            "/home/u/a.tmp\n大小: 2.0 KB (2,048 字节)\n修改时间: " + LocalTimeText(0));
  EXPECT_EQ(LocalTimeText(0).size(), 19u);  // yyyy-MM-dd HH:mm:ss
  EXPECT_EQ(FileToolTip("c:\\gone.tmp", std::nullopt, std::string("/gone.tmp")),
            "/gone.tmp\n找不到该文件");
  EXPECT_EQ(FileToolTip("c:\\gone.tmp", std::nullopt, std::nullopt), "c:\\gone.tmp\n找不到该文件");
}

}  // namespace
}  // namespace tidwen::frontend
