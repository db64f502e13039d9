// Steps the headless and the window benchmark take alike, so that both make
// their trees, time their references and judge a deletion in the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bench_main.h"
#include "bench_report.h"
#include "bench_tree.h"
#include "child_report.h"
#include "floor_walk.h"

namespace tidwen::bench {

// Generates the scan tree the options describe under root (which must exist
// and be empty), printing what is made, what it holds and the hits expected.
// Throws std::runtime_error as GenerateScanTree does.
TreeStats GenerateReportedScanTree(const BenchOptions& options, const std::string& root,
                                   bool utf8Only = false);

// A benchmark's scan tree: made under options.tmp with a name holding tag,
// generated as GenerateReportedScanTree does, and removed when it goes out
// of scope unless options.keep is set.
class ScanTree {
 public:
  ScanTree(const BenchOptions& options, const std::string& tag);

  const std::string& Root() const { return guard_.Root(); }
  const TreeStats& Stats() const { return stats_; }

 private:
  TreeGuard guard_;
  TreeStats stats_;
};

// Empties the page cache, so that the next reader meets the disk. False when
// this process may not, which takes root.
bool DropCaches();

// Wall seconds of one FloorWalk of root.
double TimeFloorWalk(const std::string& root);

// "floor  <times>  (N files, M dirs, K hits)"
void PrintFloorTime(const Timings& times, const FloorResult& floor);

// The highest peak and the highest growth of resident memory that scan
// children reported, from their hwm_kb and rss_before_kb.
struct PeakMemory {
  long peakKb = 0;
  long growthKb = 0;

  void Add(const ChildReport& report);
};

// A program that deletes through a child of the benchmark, raced against
// find -delete on a second copy of the same tree.
struct DeleteContender {
  std::string tag;           // the trees' names: tag and tag + "-find"
  std::string childMode;     // the child's mode word, given the tree's root
  const char* name = "";     // names the program's tree in the leftovers check
  bool checkCopies = false;  // check, and fail on, two copies that differ
  // Takes the report of a child that ran in a round (counted from 0): keeps
  // its times and checks its figures against the generated tree, printing
  // what is wrong. False when something is.
  std::function<bool(const ChildReport& report, const TreeStats& stats, int round)> takeReport;
};

struct DeleteRounds {
  TreeStats stats;            // of the last round's trees
  Timings findTimes;          // find -delete, in the rounds whose child reported
  Timings findCpu;            // its CPU time, in the same rounds
  std::int64_t failures = 0;  // failure boxes over all rounds
  std::string firstFailure;   // printable; empty when there was none
  bool sound = true;          // false when a round failed or a check did
};

// Runs options.deleteRuns rounds, each on two fresh trees made alike and
// warmed alike; which contender goes first alternates by round. Prints a
// line for each thing that went wrong, and the trees' contents once.
DeleteRounds RunDeleteRounds(const BenchOptions& options, const std::string& self,
                             const DeleteContender& contender);

// "delete  <times>  (N junk files, how)" for the program's times, then the
// same line for find -delete.
void PrintDeleteTimes(const Timings& program, const DeleteRounds& rounds, const char* how);

// Closes the deletion benchmark: prints its check (the failure boxes, or OK
// when the rounds were sound and showed none), then the ratio of the
// program's times to find's. Returns whether the deletion was sound.
bool CloseDeletion(const DeleteRounds& rounds, const Timings& program, const char* target);

}  // namespace tidwen::bench
