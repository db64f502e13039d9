// The arena of a walk's directories, and the lists that name files of it:
// full paths built right, memory bound by the names and not the paths, and
// nothing kept once a list is emptied.
#include "model/path_arena.h"

#include <gtest/gtest.h>

#include <thread>

#include "model/check_list.h"

namespace tidwen {
namespace {

TEST(PathArenaTest, BuildsEachDirectorysPathFromItsRootAndNames) {
  PathArena arena;
  const auto drive = arena.AddRoot("c:\\");
  const auto a = arena.AddChild(drive, "a");
  const auto b = arena.AddChild(a, "b b");
  const auto folder = arena.AddRoot("d:\\projects");
  const auto x = arena.AddChild(folder, "x");
  const struct {
    PathArena::Index dir;
    std::string_view name;
    std::string path;
  } rows[] = {{drive, "", "c:\\"},
              {drive, "r.tmp", "c:\\r.tmp"},
              {a, "", "c:\\a"},
              {b, "f.bak", "c:\\a\\b b\\f.bak"},
              {folder, "", "d:\\projects"},
              {folder, "y", "d:\\projects\\y"},
              {x, "z.old", "d:\\projects\\x\\z.old"}};
  for (const auto& row : rows) {
    EXPECT_EQ(arena.Path(row.dir, row.name), row.path);
    EXPECT_EQ(arena.PathLength(row.dir, row.name), row.path.size());
  }
  std::string out = "prefix:";
  arena.AppendPath(b, out);
  EXPECT_EQ(out, "prefix:c:\\a\\b b");
  EXPECT_TRUE(arena.IsRoot(folder));
  EXPECT_EQ(arena.Parent(x), folder);
}

// A local user can plant a chain of 4,096 directories of 255-byte names;
// as whole paths the queue and the results would hold gigabytes.
TEST(PathArenaTest, AChainOfLongNamesCostsItsNamesNotItsPaths) {
  auto arena = std::make_shared<PathArena>();
  std::weak_ptr<PathArena> watch = arena;
  constexpr int kDepth = 4096;
  const std::string name(255, 'n');
  PathArena::Index dir = arena->AddRoot("c:\\");
  CheckList queue, results;
  std::size_t pathBytes = 0;
  for (int level = 0; level < kDepth; ++level) {
    dir = arena->AddChild(dir, name);
    queue.AppendPath({arena, dir, {}});
    results.AppendPath({arena, dir, "x.tmp"}, FileStamp{1, 2, false, true});
    pathBytes += arena->PathLength(dir, "x.tmp");
  }
  ASSERT_GT(pathBytes, std::size_t{2} << 30);  // what whole paths would take
  const std::size_t names = std::size_t{kDepth} * (255 + 5);
  const std::size_t held = arena->HeldBytes() + queue.OverheadBytes() + results.OverheadBytes();
  EXPECT_LT(held, 4 * names) << held;
  EXPECT_EQ(results.Text(kDepth - 1).size(), 3 + kDepth * 256 + 5);
  EXPECT_EQ(results.Stamp(7), (FileStamp{1, 2, false, true}));

  // Emptied, the lists keep nothing, the arena included.
  arena.reset();
  queue.Clear();
  for (std::int64_t i = results.Count() - 1; i >= 0; --i) results.Remove(i);
  EXPECT_TRUE(watch.expired());
  for (const CheckList* list : {&queue, &results}) {
    EXPECT_LE(list->OverheadBytes(), sizeof(CheckList) + sizeof(std::string));
  }
}

// A window's list reads the directories of a walk that goes on adding on a
// worker: what it reads never moves (ThreadSanitizer checks the rest).
TEST(PathArenaTest, ReadsWhileAWalkAddsSeeEveryDirectoryWhole) {
  PathArena arena;
  const auto root = arena.AddRoot("c:\\");
  constexpr int kCount = 50000;
  std::thread adder([&] {
    for (int i = 0; i < kCount; ++i) arena.AddChild(root, "d" + std::to_string(i));
  });
  std::size_t checked = 0;
  while (checked < kCount) {
    const std::size_t count = arena.Count();
    for (; checked + 1 < count; ++checked) {
      const auto dir = static_cast<PathArena::Index>(checked + 1);
      ASSERT_EQ(arena.Path(dir), "c:\\d" + std::to_string(checked));
    }
  }
  adder.join();
}

}  // namespace
}  // namespace tidwen
