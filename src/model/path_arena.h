// Directories as (parent, name) pairs in one arena: the walk's queue and
// the lists that name files in those directories hold a path for the cost
// of its last name, not of the whole path, and build full paths only when
// they are used (to open a directory, for a caption, for a row shown).
//
// A 4,096-deep chain of 255-byte names is 1 MiB of names here; as full
// paths it would be 2 GiB.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tidwen {

// Append-only. One thread adds (the walking thread); any thread may read
// the directories below a count it read from Count(), or that it learnt of
// through a hand-over that synchronises with the adding thread (a mutex, a
// queue), while more are added: nothing added ever moves.
class PathArena {
 public:
  using Index = std::uint32_t;
  static constexpr Index kNoParent = 0xFFFFFFFFu;

  PathArena() = default;
  PathArena(const PathArena&) = delete;
  PathArena& operator=(const PathArena&) = delete;

  // A directory whose name is its whole drive path ("c:\", "d:\projects"),
  // where a walk starts. Throws RuntimeError(kOutOfMemory) when full.
  Index AddRoot(std::string_view path);
  // A subdirectory of parent, by its bare name.
  Index AddChild(Index parent, std::string_view name);

  std::size_t Count() const { return count_.load(std::memory_order_acquire); }
  Index Parent(Index i) const { return At(i).parent; }
  std::string_view Name(Index i) const { return {At(i).name, At(i).length}; }
  bool IsRoot(Index i) const { return At(i).parent == kNoParent; }

  // The drive path of directory i appended to out: its root's path, then
  // "\" and each name ("c:\" and "a" make "c:\a", "d:\p" and "a" "d:\p\a").
  // With name, "\" and name follow.
  void AppendPath(Index i, std::string& out, std::string_view name = {}) const;
  std::string Path(Index i, std::string_view name = {}) const;
  // How long AppendPath(i, out, name) makes the path.
  std::size_t PathLength(Index i, std::string_view name = {}) const;

  // Bytes held, blocks and names, for measuring.
  std::size_t HeldBytes() const { return held_.load(std::memory_order_relaxed); }

 private:
  struct Node {
    const char* name;
    std::uint32_t length;
    Index parent;
  };
  // Block b holds kFirstBlock << b nodes, so 24 blocks hold every index.
  static constexpr unsigned kFirstBlockBits = 8;
  static constexpr std::size_t kFirstBlock = std::size_t{1} << kFirstBlockBits;
  static constexpr std::size_t kBlocks = 24;
  static constexpr std::size_t kNameChunk = std::size_t{64} * 1024;

  const Node& At(Index i) const;
  Index Add(Index parent, std::string_view name);
  const char* StoreName(std::string_view name);

  std::array<std::unique_ptr<Node[]>, kBlocks> blocks_;
  std::atomic<std::size_t> count_{0};
  std::atomic<std::size_t> held_{0};
  // Written by the adding thread alone; readers reach names through nodes.
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::size_t chunkUsed_ = 0;
  std::size_t chunkSize_ = 0;
};

// A path of an arena: directory dir's path, then "\" and name unless name
// is empty. What a list keeps of an entry so named.
struct ArenaPath {
  std::shared_ptr<const PathArena> arena;
  PathArena::Index dir = 0;
  std::string_view name;

  std::string Text() const { return arena->Path(dir, name); }
};

}  // namespace tidwen
