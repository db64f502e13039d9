// Synthetic directory trees for the benchmarks, generated from a seed so
// that every run and every copy holds the same names, sizes and shape.
#pragma once

#include <cstdint>
#include <string>

namespace tidwen::bench {

// What a generated tree holds, as the benchmark's model counts it.
struct TreeStats {
  std::int64_t dirs = 0;          // the root included
  std::int64_t files = 0;         // regular files, hidden ones included
  std::int64_t listedFiles = 0;   // regular files a scan lists
  std::int64_t emptyFiles = 0;    // listed and empty
  std::int64_t hiddenFiles = 0;   // names starting with "."
  std::int64_t specials = 0;      // symlinks and fifos, never listed as files
  std::int64_t expectedHits = 0;  // ResultList entries of a full scan
  std::int64_t junkFiles = 0;     // listed files with at least one hit
  std::int64_t keptFiles = 0;     // regular files that no deletion may touch
};

// A mixed tree: fileCount regular files over dirCount directories (the root
// included) of a random shape, about 5% junk names in every suffix form,
// 1% empty, 2% hidden, 1% near misses, a few names holding "\" or bytes that
// are not UTF-8, hidden directories, and specialCount symlinks and fifos.
// With utf8Only, the names that would not be UTF-8 take a UTF-8 letter
// beyond ASCII instead, as a file system of UTF-16 names (NTFS) needs.
// The root must exist and be empty. Throws std::runtime_error on failure.
TreeStats GenerateScanTree(const std::string& root, std::int64_t fileCount, std::int64_t dirCount,
                           std::uint64_t seed, std::int64_t specialCount, bool utf8Only = false);

// A tree for deletion: junkCount junk files (mostly .tmp, some of every other
// suffix but ".$$$", which would stand twice in the ResultList, and 1% empty)
// spread evenly over dirCount directories, plus about 10% as many files that
// must survive: ordinary names, near misses and hidden junk names.
TreeStats GenerateDeleteTree(const std::string& root, std::int64_t junkCount, std::int64_t dirCount,
                             std::uint64_t seed);

// Counts what is left in a deletion tree: regular files a scan would list as
// junk, and all other regular files.
struct DeleteLeftovers {
  std::int64_t junkLeft = 0;
  std::int64_t keptLeft = 0;
  std::string firstJunkLeft;  // POSIX path, empty when none is left
};
DeleteLeftovers CountLeftovers(const std::string& root);

// Creates an empty directory under parent ("/tmp" for the default) with a
// recognisable name; returns its canonical path.
std::string MakeTempRoot(const std::string& parent, const std::string& tag);

// Removes a tree without following symlinks. Best effort: returns false when
// something could not be removed.
bool RemoveTree(const std::string& root);

// Removes a generated tree when it goes out of scope, also when generation
// or a run throws, unless told to keep it. While it lives, the tree is also
// removed if the process is stopped by a signal (see RemoveTreesOnSignals).
class TreeGuard {
 public:
  explicit TreeGuard(std::string root);
  ~TreeGuard();
  TreeGuard(const TreeGuard&) = delete;
  TreeGuard& operator=(const TreeGuard&) = delete;

  const std::string& Root() const { return root_; }
  void Keep();

 private:
  std::string root_;
  int slot_ = -1;  // in the table the signal handler reads; -1 when not there
  bool keep_ = false;
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every tree a
// live TreeGuard holds (with rm -rf, started from the handler) and then end
// the process by the same signal.
void RemoveTreesOnSignals();

}  // namespace tidwen::bench
