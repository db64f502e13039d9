// The floor: the least work any breadth-first scan of a tree must do, on one
// thread. Each directory is opened once relative to its parent and read once
// with getdents64 into one reused buffer; each listed regular file gets one
// fstatat. No sorting, no per-file strings.
#pragma once

#include <cstdint>
#include <string>

namespace tidwen::bench {

struct FloorResult {
  std::int64_t dirs = 0;    // directories read, the root included
  std::int64_t files = 0;   // listed regular files (not hidden, no "\")
  std::int64_t hits = 0;    // ResultList entries a full scan would make
  std::int64_t errors = 0;  // directories or files that could not be read
};

// Walks root (an absolute directory path) without following symlinks.
// Hidden directories are walked; hidden files are skipped. Raises the soft
// open-file limit when it can, since a parent stays open until its last
// subdirectory is opened.
FloorResult FloorWalk(const std::string& root);

}  // namespace tidwen::bench
