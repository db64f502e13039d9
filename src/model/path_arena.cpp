#include "model/path_arena.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "model/runtime_error.h"

namespace tidwen {

namespace {

// Where index i lies: its block and its place in the block.
struct Place {
  std::size_t block;
  std::size_t offset;
};

template <std::size_t kFirstBits>
Place PlaceOf(std::size_t i) {
  const std::size_t j = i + (std::size_t{1} << kFirstBits);
  const std::size_t block = static_cast<std::size_t>(std::bit_width(j)) - kFirstBits - 1;
  return {block, j - ((std::size_t{1} << kFirstBits) << block)};
}

}  // namespace

const PathArena::Node& PathArena::At(Index i) const {
  const Place place = PlaceOf<kFirstBlockBits>(i);
  return blocks_[place.block][place.offset];
}

const char* PathArena::StoreName(std::string_view name) {
  if (name.empty()) return "";
  if (chunks_.empty() || chunkUsed_ + name.size() > chunkSize_) {
    // Chunks double up to their full size, so a small arena stays small; a
    // name longer than that has a chunk of its own.
    const std::size_t doubled = chunks_.empty() ? 1024 : std::min(2 * chunkSize_, kNameChunk);
    chunkSize_ = std::max(doubled, name.size());
    chunks_.push_back(std::make_unique<char[]>(chunkSize_));
    chunkUsed_ = 0;
    held_.fetch_add(chunkSize_, std::memory_order_relaxed);
  }
  char* at = chunks_.back().get() + chunkUsed_;
  std::memcpy(at, name.data(), name.size());
  chunkUsed_ += name.size();
  return at;
}

PathArena::Index PathArena::Add(Index parent, std::string_view name) {
  const std::size_t i = count_.load(std::memory_order_relaxed);
  if (i >= kNoParent || name.size() > 0xFFFFFFFFu) {
    throw RuntimeError(kOutOfMemory, "too many directories");
  }
  const Place place = PlaceOf<kFirstBlockBits>(i);
  if (place.offset == 0) {
    const std::size_t size = kFirstBlock << place.block;
    blocks_[place.block] = std::make_unique<Node[]>(size);
    held_.fetch_add(size * sizeof(Node), std::memory_order_relaxed);
  }
  blocks_[place.block][place.offset] =
      Node{StoreName(name), static_cast<std::uint32_t>(name.size()), parent};
  // Published: a reader that sees the new count sees the node.
  count_.store(i + 1, std::memory_order_release);
  return static_cast<Index>(i);
}

PathArena::Index PathArena::AddRoot(std::string_view path) { return Add(kNoParent, path); }

PathArena::Index PathArena::AddChild(Index parent, std::string_view name) {
  return Add(parent, name);
}

std::size_t PathArena::PathLength(Index i, std::string_view name) const {
  std::size_t length = name.empty() ? 0 : name.size() + 1;
  for (Index at = i;; at = At(at).parent) {
    const Node& node = At(at);
    length += node.length;
    if (node.parent == kNoParent) {
      // A root that ends in "\" takes the next name without another.
      if (length > node.length && node.length > 0 && node.name[node.length - 1] == '\\') --length;
      return length;
    }
    ++length;  // the "\" in front of the name
  }
}

void PathArena::AppendPath(Index i, std::string& out, std::string_view name) const {
  const std::size_t start = out.size();
  const std::size_t length = PathLength(i, name);
  out.resize(start + length);
  // Written from the end, name by name up to the root.
  std::size_t end = start + length;
  const auto put = [&](std::string_view text) {
    end -= text.size();
    std::memcpy(out.data() + end, text.data(), text.size());
  };
  if (!name.empty()) {
    put(name);
    put("\\");
  }
  for (Index at = i;; at = At(at).parent) {
    const Node& node = At(at);
    if (node.parent == kNoParent) {
      // What is left is the root's whole path, its "\" included.
      std::memcpy(out.data() + start, node.name, end - start);
      return;
    }
    put({node.name, node.length});
    put("\\");
  }
}

std::string PathArena::Path(Index i, std::string_view name) const {
  std::string path;
  AppendPath(i, path, name);
  return path;
}

}  // namespace tidwen
