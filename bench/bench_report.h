// Printing and comparing what the benchmarks measure, shared by the headless
// and the window benchmark so that both report in the same form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench_tree.h"

namespace tidwen::bench {

inline constexpr const char* kFind = "/usr/bin/find";
inline constexpr const char* kBfs = "/usr/bin/bfs";
// fd, as Debian names it (package fd-find).
inline constexpr const char* kFd = "/usr/bin/fdfind";

// The timings of one contender over the rounds of a run, in round order.
struct Timings {
  std::vector<double> seconds;

  double Best() const;       // 0 when there are none
  double Median() const;     // the upper median; 0 when there are none
  std::string Runs() const;  // "0.123 0.130 ..."
};

// "name    best s   median m, runs ...   (detail)"
void PrintTime(const char* name, const Timings& timings, const std::string& detail);

// Best over best, and the median of the per-round ratios (the rounds of both
// timings correspond). Prints n/a when the rounds do not pair up.
void PrintRatio(const char* name, const Timings& numerator, const Timings& denominator,
                const char* target);

// tool root <the scan's selection> action: find or bfs selecting what a scan
// with every junk type selected lists.
std::vector<std::string> FindCommand(const char* tool, const std::string& root, const char* action);

// Decimal digits.
std::string Count(std::int64_t n);

// Prints up to ten entries of one side of a difference, as printable text.
void PrintDifference(const std::string& side, const std::vector<std::string>& paths);

// Compares the scan's entries (drive paths) with find's hits and prints OK
// or the first differences. False when they differ.
bool CheckHits(const std::vector<std::string>& scanEntries, const std::string& root,
               const std::vector<std::string>& findPaths, const char* tool);

// Checks what a deletion left in one tree: no junk, every other file. Prints
// a line and returns false when it is wrong.
bool CheckLeftovers(const char* who, const std::string& root, const TreeStats& stats);

// Parses a whole decimal number no less than minimum.
bool ParseCount(const char* text, std::int64_t& value, std::int64_t minimum);

// The path of the running executable.
std::string SelfPath();

// True when path names a file this process may run.
bool Executable(const char* path);

}  // namespace tidwen::bench
