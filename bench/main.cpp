// tidwen-bench: measures the headless scan and the deletion of the selected
// results against GNU find, bfs and a minimal walk, on generated trees.
//
//   tidwen-bench                 run every benchmark
//   tidwen-bench --list DIR      print the scan's hits for DIR, one per line
//   tidwen-bench --list-walk DIR the same, never from a volume's index
//
// Benchmarks print figures and never fail on a target; the exit code is 1
// only when a run could not be made or its results were wrong.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench_main.h"
#include "bench_model.h"
#include "bench_report.h"
#include "bench_steps.h"
#include "bench_tree.h"
#include "child_modes.h"
#include "child_report.h"
#include "floor_walk.h"
#include "ntfs_bench.h"
#include "process_run.h"

namespace tidwen::bench {
namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: tidwen-bench [options]\n"
               "       tidwen-bench --list DIR\n"
               "       tidwen-bench --list-walk DIR   the same reading every directory\n"
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
               "  --ntfs-files N     files in the NTFS image's tree (100000; 0 skips it)\n"
               "  --ntfs-only        only the NTFS benchmark\n"
               "  --ntfs-reuse DIR   only the NTFS benchmark, on the image and tree\n"
               "                     that a run with --keep kept in DIR\n"
               "Trees are made under --tmp and removed afterwards.\n");
}

// The floor and both scans, each after the page cache was emptied: what a
// scan costs when the drive has to be read. A cold round is slow and takes
// the whole machine's cache, so there are at most two.
bool ColdScan(const BenchOptions& options, const std::string& root, const std::string& self) {
  if (!DropCaches()) {
    std::printf("\ncold cache   skipped: emptying the page cache needs root\n");
    return true;
  }
  Timings floor, scan, oneThread, fd16, fd16Sized, fd2;
  const bool haveFd = Executable(kFd);
  // fd lists names alone, from the directories; with a size filter it
  // looks at every file too, as a scan must to find the empty ones.
  const auto fd = [&](const char* threads, bool sized, Timings& timings) {
    DropCaches();
    std::vector<std::string> argv{kFd, "-u", "-j", threads};
    if (sized) argv.insert(argv.end(), {"-t", "f", "-S", "-1b"});
    argv.insert(argv.end(), {".", root});
    timings.seconds.push_back(RunProcess(argv, Output::kDiscard).seconds);
  };
  const auto child = [&](const char* mode, Timings& timings) {
    DropCaches();
    ProcessResult run = RunProcess({self, mode, root}, Output::kCapture);
    ChildReport report;
    if (!run.Ok() || !ParseChildReport(run.output, report)) return false;
    timings.seconds.push_back(report.Number("seconds"));
    return true;
  };
  for (int round = 0; round < std::min(options.runs, 2); ++round) {
    DropCaches();
    floor.seconds.push_back(TimeFloorWalk(root));
    if (!child("--child-scan", scan) || !child("--child-scan-one-thread", oneThread)) {
      std::printf("cold scan    FAILED in round %d\n", round + 1);
      return false;
    }
    if (haveFd) {
      fd("16", false, fd16);
      fd("16", true, fd16Sized);
      fd("2", false, fd2);
    }
  }
  std::printf("\n");
  PrintTime("cold floor", floor, "the page cache emptied before each run");
  PrintTime("cold 1 thread", oneThread, "");
  PrintTime("cold scan", scan, "reading ahead");
  PrintRatio("cold scan/floor", scan, floor, "(target <= 0.6)");
  PrintRatio("cold 1 thread/floor", oneThread, floor, "");
  if (haveFd) {
    PrintTime("cold fd -j16", fd16, "fd -u -j 16: every name, 16 threads, no file looked at");
    PrintTime("cold fd -j16 -S", fd16Sized, "the same looking at every file's size");
    PrintTime("cold fd -j2", fd2, "fd -u -j 2");
    PrintRatio("cold scan/fd -j16", scan, fd16, "(target < 1.0)");
    PrintRatio("cold scan/fd -j16 -S", scan, fd16Sized, "");
  } else {
    std::printf("cold fd      not found at %s: skipped\n", kFd);
  }
  return true;
}

bool ScanBenchmark(const BenchOptions& options, const std::string& self) {
  bool sound = true;
  std::printf("== scan benchmark ==\n");
  ScanTree tree(options, "scan");
  const std::string& root = tree.Root();
  const TreeStats& stats = tree.Stats();

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

  Timings floorTimes, findTimes, bfsTimes, scanTimes, oneThreadTimes, floorCpu, scanCpu;
  PeakMemory memory, oneThreadMemory;
  // Each round runs every contender once, back to back, so that the
  // per-round ratios compare runs that met the same machine load.
  for (int run = 0; run < options.runs; ++run) {
    const double floorCpuStart = CpuSeconds();
    double floorSeconds = TimeFloorWalk(root);
    const double floorCpuSeconds = CpuSeconds() - floorCpuStart;
    double findSeconds = RunProcess(FindCommand(kFind, root, "-print"), Output::kDiscard).seconds;
    double bfsSeconds =
        haveBfs ? RunProcess(FindCommand(kBfs, root, "-print"), Output::kDiscard).seconds : 0;
    ProcessResult scan = RunProcess({self, "--child-scan", root}, Output::kCapture);
    ProcessResult oneThread = RunProcess({self, "--child-scan-one-thread", root}, Output::kCapture);
    ChildReport report, oneThreadReport;
    if (!scan.Ok() || !ParseChildReport(scan.output, report) || !oneThread.Ok() ||
        !ParseChildReport(oneThread.output, oneThreadReport)) {
      std::printf("scan         FAILED in run %d (exit %d, one thread %d)\n", run + 1,
                  scan.exitCode, oneThread.exitCode);
      sound = false;
      continue;
    }
    if (oneThreadReport.records != report.records) {
      std::printf("check        the scan with and without read-ahead differ in run %d\n", run + 1);
      sound = false;
    }
    oneThreadTimes.seconds.push_back(oneThreadReport.Number("seconds"));
    oneThreadMemory.Add(oneThreadReport);
    floorTimes.seconds.push_back(floorSeconds);
    floorCpu.seconds.push_back(floorCpuSeconds);
    scanCpu.seconds.push_back(report.Number("cpu_seconds"));
    findTimes.seconds.push_back(findSeconds);
    if (haveBfs) bfsTimes.seconds.push_back(bfsSeconds);
    scanTimes.seconds.push_back(report.Number("seconds"));
    memory.Add(report);
  }

  std::printf("\n");
  PrintFloorTime(floorTimes, floor);
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
  PrintTime("one thread", oneThreadTimes, "the scan with nothing read ahead");
  PrintTime("scan", scanTimes,
            Count(stats.listedFiles) + " files, " +
                Count(static_cast<std::int64_t>(firstScan.Number("queued_dirs")) + 1) + " dirs, " +
                Count(entries) + " hits; reading ahead");
  std::printf(
      "memory       peak %.1f MiB (VmHWM of the scan's own process), %.1f MiB over "
      "its VmRSS just before the scan\n",
      static_cast<double>(memory.peakKb) / 1024.0, static_cast<double>(memory.growthKb) / 1024.0);
  std::printf(
      "             one thread: peak %.1f MiB, %.1f MiB over; the read-ahead adds "
      "%.1f MiB (target <= 64)\n",
      static_cast<double>(oneThreadMemory.peakKb) / 1024.0,
      static_cast<double>(oneThreadMemory.growthKb) / 1024.0,
      static_cast<double>(memory.peakKb - oneThreadMemory.peakKb) / 1024.0);
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
  PrintRatio("scan/floor", scanTimes, floorTimes, "(target <= 0.65)");
  PrintRatio("one thread/floor", oneThreadTimes, floorTimes, "(aim <= 1.5)");
  PrintTime("floor cpu", floorCpu, "CPU time of the floor walk");
  PrintTime("scan cpu", scanCpu, "CPU time of the scan, its read-ahead threads included");
  PrintRatio("scan cpu/floor cpu", scanCpu, floorCpu, "(target <= 1.3)");
  PrintRatio("scan/one thread", scanTimes, oneThreadTimes, "");
  sound = ColdScan(options, root, self) && sound;

  if (options.keep) std::printf("kept         %s\n", root.c_str());
  return sound;
}

bool DeleteBenchmark(const BenchOptions& options, const std::string& self) {
  std::printf("== deletion benchmark ==\n");
  Timings programTimes, programCpu, scanTimes;
  std::printf("generating   2 x %lld junk files in %lld dirs, %d rounds ...\n",
              static_cast<long long>(options.deleteFiles),
              static_cast<long long>(options.deleteDirs), options.deleteRuns);
  DeleteContender program;
  program.tag = "delete";
  program.childMode = "--child-delete";
  program.name = "program";
  program.checkCopies = true;
  program.takeReport = [&](const ChildReport& report, const TreeStats& stats, int round) {
    programTimes.seconds.push_back(report.Number("seconds"));
    programCpu.seconds.push_back(report.Number("cpu_seconds"));
    scanTimes.seconds.push_back(report.Number("scan_seconds"));
    bool counts = report.Number("entries_before") == static_cast<double>(stats.expectedHits) &&
                  report.Number("entries_after") == 0;
    if (counts && report.Number("question_ok") == 1 && report.Number("caption_ok") == 1) {
      return true;
    }
    std::printf(
        "check        round %d: %s entries before (expected %lld), %s after; "
        "question %s, caption %s\n",
        round + 1, report.Text("entries_before").c_str(),
        static_cast<long long>(stats.expectedHits), report.Text("entries_after").c_str(),
        report.Number("question_ok") == 1 ? "ok" : "WRONG",
        report.Number("caption_ok") == 1 ? "ok" : "WRONG");
    return false;
  };
  DeleteRounds rounds = RunDeleteRounds(options, self, program);

  std::printf("\n");
  PrintDeleteTimes(programTimes, rounds, "Command2_Click alone");
  PrintTime("(scan)", scanTimes, "the scan before each deletion, untimed above");
  // CPU time, the kernel's included, holds when other programs load the
  // machine: the in-use and rename checks show there first.
  PrintTime("delete cpu", programCpu, "CPU time of Command2_Click, in the kernel too");
  PrintTime("find cpu", rounds.findCpu, "CPU time of find -delete");
  const bool sound = CloseDeletion(rounds, programTimes, "(target <= 2.0)");
  PrintRatio("delete cpu/find cpu", programCpu, rounds.findCpu, "");
  return sound;
}

// The modes in which the benchmark runs as its own child, or --list.
std::optional<int> ChildMode(const BenchArg& word) {
  const std::string& arg = word.Arg();
  const char* value = word.Value();
  if (arg == "--list" && value != nullptr && word.Argc() == 3) return RunListMode(value);
  if (arg == "--list-walk" && value != nullptr && word.Argc() == 3) return RunListMode(value, true);
  if (arg == "--child-scan" && value != nullptr) return RunScanChild(value);
  if (arg == "--child-scan-one-thread" && value != nullptr) return RunScanChild(value, true);
  if (arg == "--child-scan-walk" && value != nullptr) return RunScanChild(value, false, true);
  if (arg == "--child-delete" && value != nullptr) return RunDeleteChild(value);
  return std::nullopt;
}

// Generating files through ntfs-3g runs at about 1500 a second: a million
// take more than ten minutes, so the NTFS benchmark makes fewer unless asked.
constexpr std::int64_t kNtfsFiles = 100000;

int Main(int argc, char** argv) {
  BenchOptions options{.files = 200000, .dirs = 20000, .runs = 5, .deleteRuns = 3};
  std::int64_t ntfsFiles = kNtfsFiles;
  bool ntfsOnly = false;
  std::string ntfsReuse;
  const auto ntfsOption = [&](BenchArg& word) {
    if (word.Arg() == "--ntfs-files") {
      word.Count(ntfsFiles, 0);
    } else if (word.Arg() == "--ntfs-only") {
      ntfsOnly = true;
    } else if (word.Arg() == "--ntfs-reuse" && word.Value() != nullptr) {
      ntfsReuse = word.Take();
      ntfsOnly = true;
    } else {
      return false;
    }
    return true;
  };
  const auto scan = [&](const BenchOptions& o, const std::string& self) {
    const bool sound = ntfsOnly || ScanBenchmark(o, self);
    return NtfsBenchmark(o, ntfsFiles, self, ntfsReuse) && sound;
  };
  const auto deletion = [&](const BenchOptions& o, const std::string& self) {
    return ntfsOnly || DeleteBenchmark(o, self);
  };
  return RunBenchMain(argc, argv, options,
                      {.name = "tidwen-bench",
                       .usage = Usage,
                       .childMode = ChildMode,
                       .extraOption = ntfsOption,
                       .scanBenchmark = scan,
                       .deleteBenchmark = deletion});
}

}  // namespace
}  // namespace tidwen::bench

int main(int argc, char** argv) { return tidwen::bench::Main(argc, argv); }
