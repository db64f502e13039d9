// tidwen-bench: measures the headless scan and the deletion of the selected
// results against GNU find, bfs and a minimal walk, on generated trees.
//
//   tidwen-bench                 run every benchmark
//   tidwen-bench --list DIR      print the scan's hits for DIR, one per line
//
// Benchmarks print figures and never fail on a target; the exit code is 1
// only when a run could not be made or its results were wrong.

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "bench_model.h"
#include "bench_report.h"
#include "bench_tree.h"
#include "child_modes.h"
#include "child_report.h"
#include "floor_walk.h"
#include "process_run.h"

namespace tidwen::bench {
namespace {

struct Options {
  std::int64_t files = 200000;
  std::int64_t dirs = 20000;
  std::int64_t specials = -1;  // -1: one per 2000 files
  std::int64_t deleteFiles = 100000;
  std::int64_t deleteDirs = 1000;
  int runs = 5;
  int deleteRuns = 3;
  std::uint64_t seed = 20240611;
  std::string tmp = "/tmp";
  bool scan = true;
  bool remove = true;
  bool keep = false;
};

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: tidwen-bench [options]\n"
               "       tidwen-bench --list DIR\n"
               "  --files N          files in the scan tree (200000)\n"
               "  --dirs M           directories in the scan tree (20000)\n"
               "  --specials K       symlinks and fifos in the scan tree (files/2000)\n"
               "  --delete-files N   junk files in the deletion tree (100000)\n"
               "  --delete-dirs M    directories in the deletion tree (1000)\n"
               "  --runs R           timed rounds of the scan contenders (5)\n"
               "  --delete-runs R    deletion rounds, each on fresh trees (3)\n"
               "  --seed S           generator seed\n"
               "  --tmp DIR          where the trees are made (/tmp)\n"
               "  --scan-only        skip the deletion benchmark\n"
               "  --delete-only      skip the scan benchmark\n"
               "  --keep             keep the scan tree and print its path\n"
               "Trees are made under --tmp and removed afterwards.\n");
}

bool ScanBenchmark(const Options& options, const std::string& self) {
  bool sound = true;
  std::printf("== scan benchmark ==\n");
  TreeGuard tree(MakeTempRoot(options.tmp, "scan"));
  const std::string& root = tree.Root();
  if (options.keep) tree.Keep();
  double start = NowSeconds();
  std::int64_t specials = options.specials >= 0 ? options.specials : options.files / 2000;
  std::printf("generating   %lld files in %lld dirs under %s ...\n",
              static_cast<long long>(options.files), static_cast<long long>(options.dirs),
              root.c_str());
  TreeStats stats = GenerateScanTree(root, options.files, options.dirs, options.seed, specials);
  std::printf("tree         %lld files (%lld listed, %lld empty, %lld hidden), %lld dirs, "
              "%lld links/fifos; generated in %.1f s\n",
              static_cast<long long>(stats.files), static_cast<long long>(stats.listedFiles),
              static_cast<long long>(stats.emptyFiles), static_cast<long long>(stats.hiddenFiles),
              static_cast<long long>(stats.dirs), static_cast<long long>(stats.specials),
              NowSeconds() - start);
  std::printf("             %lld hits expected (%lld junk files)\n",
              static_cast<long long>(stats.expectedHits), static_cast<long long>(stats.junkFiles));

  // One untimed pass of each contender warms the caches and gives the
  // outputs for the check.
  FloorResult floor = FloorWalk(root);
  ProcessResult findOut = RunProcess(FindCommand(kFind, root, "-print0"), Output::kCapture);
  bool haveBfs = Executable(kBfs);
  ProcessResult bfsOut;
  if (haveBfs) bfsOut = RunProcess(FindCommand(kBfs, root, "-print0"), Output::kCapture);
  ProcessResult scanOut = RunProcess({self, "--child-scan", root}, Output::kCapture);
  ChildReport firstScan;
  if (!scanOut.Ok() || !ParseChildReport(scanOut.output, firstScan)) {
    std::printf("scan         FAILED (exit %d)\n", scanOut.exitCode);
    return false;
  }
  if (!findOut.Ok()) {
    std::printf("find         exit %d\n", findOut.exitCode);
    sound = false;
  }
  if (floor.errors != 0) {
    std::printf("floor        %lld directories or files could not be read\n",
                static_cast<long long>(floor.errors));
  }

  Timings floorTimes, findTimes, bfsTimes, scanTimes;
  long peakKb = 0, growthKb = 0;
  // Each round runs every contender once, back to back, so that the
  // per-round ratios compare runs that met the same machine load.
  for (int run = 0; run < options.runs; ++run) {
    double t = NowSeconds();
    FloorWalk(root);
    double floorSeconds = NowSeconds() - t;
    double findSeconds = RunProcess(FindCommand(kFind, root, "-print"), Output::kDiscard).seconds;
    double bfsSeconds =
        haveBfs ? RunProcess(FindCommand(kBfs, root, "-print"), Output::kDiscard).seconds : 0;
    ProcessResult scan = RunProcess({self, "--child-scan", root}, Output::kCapture);
    ChildReport report;
    if (!scan.Ok() || !ParseChildReport(scan.output, report)) {
      std::printf("scan         FAILED in run %d (exit %d)\n", run + 1, scan.exitCode);
      sound = false;
      continue;
    }
    floorTimes.seconds.push_back(floorSeconds);
    findTimes.seconds.push_back(findSeconds);
    if (haveBfs) bfsTimes.seconds.push_back(bfsSeconds);
    scanTimes.seconds.push_back(report.Number("seconds"));
    auto hwm = static_cast<long>(report.Number("hwm_kb"));
    peakKb = std::max(peakKb, hwm);
    growthKb = std::max(growthKb, hwm - static_cast<long>(report.Number("rss_before_kb")));
  }

  std::printf("\n");
  PrintTime("floor", floorTimes,
            Count(floor.files) + " files, " + Count(floor.dirs) + " dirs, " +
                Count(floor.hits) + " hits");
  std::vector<std::string> findPaths = SplitNulRecords(findOut.output);
  PrintTime("find", findTimes, Count(static_cast<std::int64_t>(findPaths.size())) + " files");
  std::vector<std::string> bfsPaths;
  if (haveBfs) {
    bfsPaths = SplitNulRecords(bfsOut.output);
    PrintTime("bfs", bfsTimes, Count(static_cast<std::int64_t>(bfsPaths.size())) + " files");
  } else {
    std::printf("bfs          not found at %s: skipped\n", kBfs);
  }
  auto entries = static_cast<std::int64_t>(firstScan.records.size());
  PrintTime("scan", scanTimes,
            Count(stats.listedFiles) + " files, " +
                Count(static_cast<std::int64_t>(firstScan.Number("queued_dirs")) + 1) +
                " dirs, " + Count(entries) + " hits");
  std::printf("memory       peak %.1f MiB (VmHWM of the scan's own process), %.1f MiB over "
              "its VmRSS just before the scan\n",
              static_cast<double>(peakKb) / 1024.0,
              static_cast<double>(growthKb) / 1024.0);
  std::printf("\n");

  sound = CheckHits(firstScan.records, root, findPaths, "find") && sound;
  if (haveBfs) {
    MultisetDiff tools = CompareMultisets(findPaths, bfsPaths);
    if (!tools.Same()) {
      std::printf("check        find and bfs differ (%zu / %zu paths)\n", tools.onlyLeft.size(),
                  tools.onlyRight.size());
    }
  }
  if (entries != stats.expectedHits || floor.hits != stats.expectedHits) {
    std::printf("check        hits: scan %lld, floor %lld, generator's model %lld\n",
                static_cast<long long>(entries), static_cast<long long>(floor.hits),
                static_cast<long long>(stats.expectedHits));
    sound = false;
  }
  if (firstScan.Number("caption_ok") != 1) {
    std::printf("check        Label1 does not show the count of %lld entries\n",
                static_cast<long long>(entries));
    sound = false;
  }
  std::printf("\n");
  if (haveBfs) {
    PrintRatio("scan/bfs", scanTimes, bfsTimes, "(target <= 1.0)");
  }
  PrintRatio("scan/find", scanTimes, findTimes, "");
  PrintRatio("scan/floor", scanTimes, floorTimes, "(aim <= 1.5)");

  if (options.keep) std::printf("kept         %s\n", root.c_str());
  return sound;
}

bool DeleteBenchmark(const Options& options, const std::string& self) {
  bool sound = true;
  std::printf("== deletion benchmark ==\n");
  Timings programTimes, findTimes, scanTimes;
  TreeStats stats;
  std::int64_t failures = 0;
  std::string firstFailure;
  std::printf("generating   2 x %lld junk files in %lld dirs, %d rounds ...\n",
              static_cast<long long>(options.deleteFiles),
              static_cast<long long>(options.deleteDirs), options.deleteRuns);
  for (int round = 0; round < options.deleteRuns; ++round) {
    TreeGuard programTree(MakeTempRoot(options.tmp, "delete"));
    TreeGuard findTree(MakeTempRoot(options.tmp, "delete-find"));
    const std::string& programRoot = programTree.Root();
    const std::string& findRoot = findTree.Root();
    double start = NowSeconds();
    stats = GenerateDeleteTree(programRoot, options.deleteFiles, options.deleteDirs, options.seed);
    TreeStats copy =
        GenerateDeleteTree(findRoot, options.deleteFiles, options.deleteDirs, options.seed);
    if (round == 0) {
      std::printf("trees        2 x %lld junk files + %lld others in %lld dirs; generated in "
                  "%.1f s\n",
                  static_cast<long long>(stats.junkFiles), static_cast<long long>(stats.keptFiles),
                  static_cast<long long>(stats.dirs), NowSeconds() - start);
    }
    if (copy.expectedHits != stats.expectedHits || copy.keptFiles != stats.keptFiles) {
      std::printf("trees        the two copies differ\n");
      sound = false;
    }
    FloorWalk(programRoot);  // both trees equally warm
    FloorWalk(findRoot);

    // Alternate which contender goes first, so neither always meets the
    // other's leftover writeback.
    ProcessResult program, find;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn + round) % 2 == 0) {
        program = RunProcess({self, "--child-delete", programRoot}, Output::kCapture);
      } else {
        find = RunProcess(FindCommand(kFind, findRoot, "-delete"), Output::kDiscard);
      }
    }
    ChildReport report;
    if (!program.Ok() || !ParseChildReport(program.output, report)) {
      std::printf("delete       FAILED in round %d (exit %d)\n", round + 1, program.exitCode);
      sound = false;
    } else {
      programTimes.seconds.push_back(report.Number("seconds"));
      scanTimes.seconds.push_back(report.Number("scan_seconds"));
      findTimes.seconds.push_back(find.seconds);
      failures += static_cast<std::int64_t>(report.Number("failures"));
      if (firstFailure.empty()) firstFailure = report.Text("first_failure");
      bool counts = report.Number("entries_before") == static_cast<double>(stats.expectedHits) &&
                    report.Number("entries_after") == 0;
      if (!counts || report.Number("question_ok") != 1 || report.Number("caption_ok") != 1) {
        std::printf("check        round %d: %s entries before (expected %lld), %s after; "
                    "question %s, caption %s\n",
                    round + 1, report.Text("entries_before").c_str(),
                    static_cast<long long>(stats.expectedHits),
                    report.Text("entries_after").c_str(),
                    report.Number("question_ok") == 1 ? "ok" : "WRONG",
                    report.Number("caption_ok") == 1 ? "ok" : "WRONG");
        sound = false;
      }
      sound = CheckLeftovers("program", programRoot, stats) && sound;
    }
    if (!find.Ok()) std::printf("find         exit %d in round %d\n", find.exitCode, round + 1);
    sound = CheckLeftovers("find -delete", findRoot, copy) && sound;
  }

  std::printf("\n");
  std::string files = Count(stats.junkFiles) + " junk files";
  PrintTime("delete", programTimes, files + ", Command2_Click alone");
  PrintTime("find -delete", findTimes, files + ", walk included");
  PrintTime("(scan)", scanTimes, "the scan before each deletion, untimed above");
  if (failures != 0) {
    std::printf("check        %lld failure boxes, the first: %s\n",
                static_cast<long long>(failures), firstFailure.c_str());
    sound = false;
  } else if (sound) {
    std::printf("check        OK: every junk file gone, every other file kept, no failure box\n");
  }
  std::printf("\n");
  PrintRatio("delete/find", programTimes, findTimes, "(target <= 2.0)");
  return sound;
}

int Main(int argc, char** argv) {
  Options options;
  bool deleteBench = true;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto count = [&](std::int64_t& target, std::int64_t minimum) {
      if (value == nullptr || !ParseCount(value, target, minimum)) {
        std::fprintf(stderr, "tidwen-bench: %s needs a number >= %lld\n", arg.c_str(),
                     static_cast<long long>(minimum));
        std::exit(2);
      }
      ++i;
    };
    std::int64_t number = 0;
    if (arg == "--list" && value != nullptr && argc == 3) return RunListMode(value);
    if (arg == "--child-scan" && value != nullptr) return RunScanChild(value);
    if (arg == "--child-delete" && value != nullptr) return RunDeleteChild(value);
    if (arg == "--files") {
      count(options.files, 0);
    } else if (arg == "--dirs") {
      count(options.dirs, 1);
    } else if (arg == "--specials") {
      count(options.specials, 0);
    } else if (arg == "--delete-files") {
      count(options.deleteFiles, 0);
    } else if (arg == "--delete-dirs") {
      count(options.deleteDirs, 1);
    } else if (arg == "--runs") {
      count(number, 1);
      options.runs = static_cast<int>(std::min<std::int64_t>(number, 100));
    } else if (arg == "--delete-runs") {
      count(number, 1);
      options.deleteRuns = static_cast<int>(std::min<std::int64_t>(number, 100));
    } else if (arg == "--seed") {
      count(number, 0);
      options.seed = static_cast<std::uint64_t>(number);
    } else if (arg == "--tmp" && value != nullptr) {
      options.tmp = value;
      ++i;
    } else if (arg == "--scan-only") {
      deleteBench = false;
    } else if (arg == "--delete-only") {
      options.scan = false;
    } else if (arg == "--keep") {
      options.keep = true;
    } else if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else {
      Usage(stderr);
      return 2;
    }
  }
  if (!Executable(kFind)) {
    std::fprintf(stderr, "tidwen-bench: %s is needed\n", kFind);
    return 1;
  }

  // Figures appear as they are measured, also when piped to a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RemoveTreesOnSignals();
  std::string self = SelfPath();
  bool sound = true;
  try {
    if (options.scan) sound = ScanBenchmark(options, self) && sound;
    if (options.scan && deleteBench) std::printf("\n");
    if (deleteBench) sound = DeleteBenchmark(options, self) && sound;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tidwen-bench: %s\n", e.what());
    return 1;
  }
  std::fflush(stdout);
  return sound ? 0 : 1;
}

}  // namespace
}  // namespace tidwen::bench

int main(int argc, char** argv) { return tidwen::bench::Main(argc, argv); }
