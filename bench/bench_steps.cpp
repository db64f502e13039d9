#include "bench_steps.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "process_run.h"

namespace tidwen::bench {

TreeStats GenerateReportedScanTree(const BenchOptions& options, const std::string& root,
                                   bool utf8Only) {
  double start = NowSeconds();
  std::printf("generating   %lld files in %lld dirs under %s ...\n",
              static_cast<long long>(options.files), static_cast<long long>(options.dirs),
              root.c_str());
  TreeStats stats = GenerateScanTree(root, options.files, options.dirs, options.seed,
                                     options.Specials(), utf8Only);
  std::printf(
      "tree         %lld files (%lld listed, %lld empty, %lld hidden), %lld dirs, "
      "%lld links/fifos; generated in %.1f s\n",
      static_cast<long long>(stats.files), static_cast<long long>(stats.listedFiles),
      static_cast<long long>(stats.emptyFiles), static_cast<long long>(stats.hiddenFiles),
      static_cast<long long>(stats.dirs), static_cast<long long>(stats.specials),
      NowSeconds() - start);
  std::printf("             %lld hits expected (%lld junk files)\n",
              static_cast<long long>(stats.expectedHits), static_cast<long long>(stats.junkFiles));
  return stats;
}

ScanTree::ScanTree(const BenchOptions& options, const std::string& tag)
    : guard_(MakeTempRoot(options.tmp, tag)) {
  if (options.keep) guard_.Keep();
  stats_ = GenerateReportedScanTree(options, guard_.Root());
}

bool DropCaches() {
  ::sync();
  FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
  if (f == nullptr) return false;
  const bool written = std::fputs("3\n", f) >= 0;
  return std::fclose(f) == 0 && written;
}

double TimeFloorWalk(const std::string& root) {
  double start = NowSeconds();
  FloorWalk(root);
  return NowSeconds() - start;
}

void PrintFloorTime(const Timings& times, const FloorResult& floor) {
  PrintTime("floor", times,
            Count(floor.files) + " files, " + Count(floor.dirs) + " dirs, " + Count(floor.hits) +
                " hits");
}

void PeakMemory::Add(const ChildReport& report) {
  auto hwm = static_cast<long>(report.Number("hwm_kb"));
  peakKb = std::max(peakKb, hwm);
  growthKb = std::max(growthKb, hwm - static_cast<long>(report.Number("rss_before_kb")));
}

DeleteRounds RunDeleteRounds(const BenchOptions& options, const std::string& self,
                             const DeleteContender& contender) {
  DeleteRounds rounds;
  for (int round = 0; round < options.deleteRuns; ++round) {
    TreeGuard programTree(MakeTempRoot(options.tmp, contender.tag));
    TreeGuard findTree(MakeTempRoot(options.tmp, contender.tag + "-find"));
    const std::string& programRoot = programTree.Root();
    const std::string& findRoot = findTree.Root();
    double start = NowSeconds();
    TreeStats& stats = rounds.stats;
    stats = GenerateDeleteTree(programRoot, options.deleteFiles, options.deleteDirs, options.seed);
    TreeStats copy =
        GenerateDeleteTree(findRoot, options.deleteFiles, options.deleteDirs, options.seed);
    if (round == 0) {
      std::printf(
          "trees        2 x %lld junk files + %lld others in %lld dirs; generated in "
          "%.1f s\n",
          static_cast<long long>(stats.junkFiles), static_cast<long long>(stats.keptFiles),
          static_cast<long long>(stats.dirs), NowSeconds() - start);
    }
    if (contender.checkCopies &&
        (copy.expectedHits != stats.expectedHits || copy.keptFiles != stats.keptFiles)) {
      std::printf("trees        the two copies differ\n");
      rounds.sound = false;
    }
    FloorWalk(programRoot);  // both trees equally warm
    FloorWalk(findRoot);

    // Alternate which contender goes first, so neither always meets the
    // other's leftover writeback.
    ProcessResult program, find;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn + round) % 2 == 0) {
        program = RunProcess({self, contender.childMode, programRoot}, Output::kCapture);
      } else {
        find = RunProcess(FindCommand(kFind, findRoot, "-delete"), Output::kDiscard);
      }
    }
    ChildReport report;
    if (!program.Ok() || !ParseChildReport(program.output, report)) {
      std::printf("delete       FAILED in round %d (exit %d)\n", round + 1, program.exitCode);
      rounds.sound = false;
    } else {
      rounds.findTimes.seconds.push_back(find.seconds);
      rounds.findCpu.seconds.push_back(find.cpuSeconds);
      rounds.failures += static_cast<std::int64_t>(report.Number("failures"));
      if (rounds.firstFailure.empty()) rounds.firstFailure = report.Text("first_failure");
      rounds.sound = contender.takeReport(report, stats, round) && rounds.sound;
      rounds.sound = CheckLeftovers(contender.name, programRoot, stats) && rounds.sound;
    }
    if (!find.Ok()) std::printf("find         exit %d in round %d\n", find.exitCode, round + 1);
    rounds.sound = CheckLeftovers("find -delete", findRoot, copy) && rounds.sound;
  }
  return rounds;
}

void PrintDeleteTimes(const Timings& program, const DeleteRounds& rounds, const char* how) {
  std::string files = Count(rounds.stats.junkFiles) + " junk files";
  PrintTime("delete", program, files + ", " + how);
  PrintTime("find -delete", rounds.findTimes, files + ", walk included");
}

bool CloseDeletion(const DeleteRounds& rounds, const Timings& program, const char* target) {
  bool sound = rounds.sound;
  if (rounds.failures != 0) {
    std::printf("check        %lld failure boxes, the first: %s\n",
                static_cast<long long>(rounds.failures), rounds.firstFailure.c_str());
    sound = false;
  } else if (sound) {
    std::printf("check        OK: every junk file gone, every other file kept, no failure box\n");
  }
  std::printf("\n");
  PrintRatio("delete/find", program, rounds.findTimes, target);
  return sound;
}

}  // namespace tidwen::bench
