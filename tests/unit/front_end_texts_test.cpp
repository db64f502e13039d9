// What both front ends show alike: the text of a failed command, the drive
// list's texts and which drive stays chosen, and the directory list's rows.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "frontend/common/command_failure.h"
#include "frontend/common/file_system_rows.h"
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
      {d, {c, e, d}, 2},                       // moved down the list: still it
      {d, {c, DriveInfo{'d', "/m/a", "/m/a", 9}, e}, -1},  // another mount on d:
      {d, {c, DriveInfo{'f', "/m/a", "/m/a", 2}}, -1},    // another letter
      {d, {c}, -1},                            // gone
      {std::nullopt, {c, d}, -1},              // none was chosen
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
      {"c:\\", {"c:\\a", "c:\\b"},
       {{"c:\\", "c:\\", 0, true}, {"c:\\a", "a", 1, false}, {"c:\\b", "b", 1, false}}},
      {"c:\\a\\b c", {"c:\\a\\b c\\d"},
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

}  // namespace
}  // namespace tidwen::frontend
