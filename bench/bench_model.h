// The benchmark's own model of what a scan with every junk type selected
// reports: the junk-type table's suffixes, matched independently of the
// rules it measures, plus the helpers that compare a scan's hits with an
// external tool's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tidwen::bench {

// The fifteen suffixes of the junk-type table, as listed; each is also
// accepted in upper case.
extern const std::vector<std::string_view> kBenchSuffixes;

// The number of ResultList entries one listed file yields with every type
// selected: 1 for an empty file, otherwise one per suffix that the name ends
// with (as listed or upper case), so a nonempty name ending in ".$$$" gives 2.
int JunkEntryCount(std::string_view name, bool empty);

// True when the scan lists a file of this name at all: not hidden (no
// leading "."), and no "\" (which a drive path cannot carry).
bool IsListedName(std::string_view name);

// The find/bfs arguments that select the same files as the scan, to follow
// the starting directory: -xdev -type f, not hidden, no "\", and either a
// junk suffix and nonempty, or empty. The action (-print, -delete...) is
// appended by the caller.
std::vector<std::string> FindExpression();

// "c:\a\b" -> root + "/a/b"; "c:\x" -> root + "/x". Returns an empty string
// for a text that is not a path on drive c:.
std::string DrivePathToPosix(std::string_view drivePath, std::string_view root);

// Splits NUL-terminated records (find -print0) into paths.
std::vector<std::string> SplitNulRecords(std::string_view data);

// Expands find's one line per file into the scan's one entry per hit: a
// nonempty file whose name ends in ".$$$" stands twice. Sizes are read with
// lstat; a path that can no longer be read stands once.
std::vector<std::string> ExpandFindHits(const std::vector<std::string>& paths);

// The result of comparing two multisets of paths.
struct MultisetDiff {
  std::vector<std::string> onlyLeft;   // with multiplicity, sorted
  std::vector<std::string> onlyRight;  // with multiplicity, sorted
  bool Same() const { return onlyLeft.empty() && onlyRight.empty(); }
};

// Compares by bytes; the inputs are taken by value and sorted.
MultisetDiff CompareMultisets(std::vector<std::string> left, std::vector<std::string> right);

// Shows a path's bytes as printable text: bytes outside printable ASCII
// (and "\") as \xNN escapes.
std::string Printable(std::string_view bytes);

}  // namespace tidwen::bench
