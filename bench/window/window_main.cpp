// tidwen-window-bench: measures the scan, select-all and deletion through the
// real main window on Qt's offscreen platform, on a generated tree, against
// the headless scan of the same tree, bfs and a minimal walk, and the
// deletion against find -delete.
//
//   tidwen-window-bench [options]
//
// Figures are printed and never fail the run; the exit code is 1 only when a
// run could not be made or its results were wrong.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
#include "window/window_child.h"

namespace tidwen::bench {
namespace {

struct Options {
  std::int64_t files = 1000000;
  std::int64_t dirs = 100000;
  std::int64_t specials = -1;  // -1: one per 2000 files
  std::int64_t listEntries = 1000000;
  std::int64_t deleteFiles = 100000;
  std::int64_t deleteDirs = 1000;
  int runs = 3;
  int deleteRuns = 1;
  std::uint64_t seed = 20240611;
  std::string tmp = "/tmp";
  bool scan = true;
  bool keep = false;
};

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: tidwen-window-bench [options]\n"
               "  --files N          files in the scan tree (1000000)\n"
               "  --dirs M           directories in the scan tree (100000)\n"
               "  --specials K       symlinks and fifos in the scan tree (files/2000)\n"
               "  --list-entries N   entries of the long ResultList that is painted and\n"
               "                     scrolled after the scan (1000000)\n"
               "  --delete-files N   junk files in each deletion tree (100000)\n"
               "  --delete-dirs M    directories in each deletion tree (1000)\n"
               "  --runs R           timed rounds of the scan contenders (3)\n"
               "  --delete-runs R    deletion rounds, each on fresh trees (1)\n"
               "  --seed S           generator seed\n"
               "  --tmp DIR          where the trees are made (/tmp)\n"
               "  --scan-only        skip the deletion benchmark\n"
               "  --delete-only      skip the scan benchmark\n"
               "  --keep             keep the scan tree and print its path\n"
               "Trees are made under --tmp and removed afterwards.\n");
}

double Kib(double kb) { return kb / 1024.0; }

// Bytes per entry, or 0 for no entries.
double PerEntry(double bytes, double entries) { return entries > 0 ? bytes / entries : 0; }

// Runs a child of this program and parses its report; prints why not and
// returns false when it failed.
bool RunChild(const std::vector<std::string>& argv, ChildReport& report, const char* what) {
  ProcessResult run = RunProcess(argv, Output::kCapture);
  if (run.Ok() && ParseChildReport(run.output, report)) return true;
  std::printf("%-12s FAILED (exit %d)\n", what, run.exitCode);
  return false;
}

bool CheckReport(const ChildReport& report, const char* key, const char* what) {
  if (report.Number(key) == 1) return true;
  std::printf("check        %s\n", what);
  return false;
}

void PrintLongList(const ChildReport& report) {
  if (!report.Has("long_entries")) return;
  const double added = report.Number("long_added_entries");
  std::printf("long list    List1 filled to %.0f entries (%.0f added as a repeat scan "
              "would) in %.2f s, shown in %.2f s\n",
              report.Number("long_entries"), added, report.Number("long_fill_seconds"),
              report.Number("long_show_seconds"));
  std::printf("  per entry  %.1f bytes held by the list beyond the text  (target <= 48)\n",
              PerEntry(report.Number("long_overhead_bytes"), report.Number("long_entries")));
  std::printf("             %.1f bytes of RSS growth per added entry beyond its text "
              "(%.0f text bytes added)\n",
              PerEntry(report.Number("long_rss_growth_kb") * 1024 -
                           report.Number("long_added_text_bytes"),
                       added),
              report.Number("long_added_text_bytes"));
  std::printf("  paint      first page %.2f ms, middle page %.2f ms, last page %.2f ms  "
              "(target < 50 ms each)\n",
              report.Number("paint_first_ms"), report.Number("paint_middle_ms"),
              report.Number("paint_last_ms"));
  std::printf("  scroll     top to bottom in %.0f pages: %.1f ms in all, worst page %.2f ms; "
              "jump to the bottom %.2f ms; whole window grabbed in %.1f ms\n",
              report.Number("sweep_pages"), report.Number("sweep_total_ms"),
              report.Number("sweep_worst_ms"), report.Number("jump_to_bottom_ms"),
              report.Number("grab_window_ms"));
  std::printf("  select-all %.1f ms on %.0f entries, painted included\n",
              report.Number("long_select_all_seconds") * 1000, report.Number("long_entries"));
}

bool ScanBenchmark(const Options& options, const std::string& self) {
  bool sound = true;
  std::printf("== window scan benchmark: Form1 on Qt's offscreen platform ==\n");
  TreeGuard tree(MakeTempRoot(options.tmp, "window"));
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
  // outputs for the checks; the window's also measures the long list.
  FloorResult floor = FloorWalk(root);
  const bool haveBfs = Executable(kBfs);
  const char* tool = haveBfs ? kBfs : kFind;
  ProcessResult toolOut = RunProcess(FindCommand(tool, root, "-print0"), Output::kCapture);
  ChildReport headlessFirst, windowFirst;
  if (!RunChild({self, "--child-scan", root}, headlessFirst, "headless") ||
      !RunChild({self, "--child-window-scan", root, "--list-entries",
                 Count(options.listEntries)},
                windowFirst, "window")) {
    return false;
  }
  if (!toolOut.Ok()) {
    std::printf("%-12s exit %d\n", tool, toolOut.exitCode);
    sound = false;
  }

  Timings floorTimes, bfsTimes, headlessTimes, windowTimes, headlessCpu, windowCpu;
  long peakKb = 0, growthKb = 0, headlessGrowthKb = 0;
  std::vector<ChildReport> windows;
  // Each round runs every contender once, back to back, so that the
  // per-round ratios compare runs that met the same machine load.
  for (int run = 0; run < options.runs; ++run) {
    double t = NowSeconds();
    FloorWalk(root);
    double floorSeconds = NowSeconds() - t;
    double bfsSeconds =
        haveBfs ? RunProcess(FindCommand(kBfs, root, "-print"), Output::kDiscard).seconds : 0;
    ChildReport headless, window;
    if (!RunChild({self, "--child-scan", root}, headless, "headless") ||
        !RunChild({self, "--child-window-scan", root}, window, "window")) {
      sound = false;
      continue;
    }
    floorTimes.seconds.push_back(floorSeconds);
    if (haveBfs) bfsTimes.seconds.push_back(bfsSeconds);
    headlessTimes.seconds.push_back(headless.Number("seconds"));
    headlessCpu.seconds.push_back(headless.Number("cpu_seconds"));
    windowTimes.seconds.push_back(window.Number("seconds"));
    windowCpu.seconds.push_back(window.Number("cpu_seconds"));
    auto hwm = static_cast<long>(window.Number("hwm_kb"));
    peakKb = std::max(peakKb, hwm);
    growthKb = std::max(growthKb, hwm - static_cast<long>(window.Number("rss_before_kb")));
    headlessGrowthKb =
        std::max(headlessGrowthKb, static_cast<long>(headless.Number("hwm_kb")) -
                                       static_cast<long>(headless.Number("rss_before_kb")));
    windows.push_back(std::move(window));
  }
  if (windows.empty()) return false;

  const auto entries = static_cast<std::int64_t>(windowFirst.records.size());
  const double queued = windowFirst.Number("queued_dirs");
  std::printf("\n");
  PrintTime("floor", floorTimes,
            Count(floor.files) + " files, " + Count(floor.dirs) + " dirs, " +
                Count(floor.hits) + " hits");
  if (haveBfs) {
    PrintTime("bfs", bfsTimes, "");
  } else {
    std::printf("bfs          not found at %s: skipped\n", kBfs);
  }
  PrintTime("headless", headlessTimes, "Command1_Click over plain controls");
  PrintTime("window", windowTimes,
            "Command1 clicked in Form1: " + Count(stats.listedFiles) + " files, " +
                Count(static_cast<std::int64_t>(queued) + 1) + " dirs, " + Count(entries) +
                " hits");
  PrintTime("headless cpu", headlessCpu, "user + system");
  PrintTime("window cpu", windowCpu, "user + system");
  std::printf("window load  %.3f s  (Form1 made, Form_Load included)\n",
              windowFirst.Number("load_seconds"));
  std::printf("\n");
  // Paints in each round, and the highest rate any round reached.
  std::printf("repaints     during the scan, in each round; the highest rate  (target <= ~30 "
              "a second, never one per file: %lld files)\n",
              static_cast<long long>(stats.listedFiles));
  const char* const kPaints[][2] = {{"label_paints", "Label1"},
                                    {"list_paints", "List1 page"},
                                    {"list_bar_paints", "List1 bar"},
                                    {"pacer_rounds", "paced rounds"}};
  for (const auto& [key, name] : kPaints) {
    std::string counts;
    double rate = 0;
    for (const ChildReport& window : windows) {
      counts += (counts.empty() ? "" : " ") + window.Text(key);
      if (window.Number("seconds") > 0) {
        rate = std::max(rate, window.Number(key) / window.Number("seconds"));
      }
    }
    std::printf("  %-12s %-24s %5.1f a second\n", name, counts.c_str(), rate);
  }
  std::string paintShares;
  for (const ChildReport& window : windows) {
    char share[64];
    std::snprintf(share, sizeof share, "%s%.3f s of %.3f s", paintShares.empty() ? "" : ", ",
                  window.Number("pacer_seconds"), window.Number("seconds"));
    paintShares += share;
  }
  std::printf("  painting   %s of the scan\n", paintShares.c_str());
  std::printf("memory       peak %.1f MiB (VmHWM of the window's process during the scan), "
              "%.1f MiB over its VmRSS before the scan; headless %.1f MiB over\n",
              Kib(static_cast<double>(peakKb)), Kib(static_cast<double>(growthKb)),
              Kib(static_cast<double>(headlessGrowthKb)));
  const ChildReport& last = windows.back();
  const double list1Entries = last.Number("entries");
  std::printf("  per entry  List1 %.1f bytes beyond the text (%.0f entries), List3 %.1f "
              "(%.0f entries)  (target <= 48)\n",
              PerEntry(last.Number("list1_overhead_bytes"), list1Entries), list1Entries,
              PerEntry(last.Number("list3_overhead_bytes"), last.Number("queued_dirs")),
              last.Number("queued_dirs"));
  const double textBytes = last.Number("list1_text_bytes") + last.Number("list3_text_bytes");
  std::printf("             %.1f bytes of RSS growth per List1 and List3 entry beyond its text "
              "(all of the scan's growth, listers included)\n",
              PerEntry((last.Number("rss_after_kb") - last.Number("rss_before_kb")) * 1024 -
                           textBytes,
                       list1Entries + last.Number("queued_dirs")));
  std::printf("select-all   %.1f ms on %.0f entries, painted included\n",
              windowFirst.Number("select_all_seconds") * 1000, windowFirst.Number("entries"));
  PrintLongList(windowFirst);
  std::printf("\n");

  // The window must list exactly what the headless scan lists, in the same
  // order, and what the tools find.
  if (windowFirst.records != headlessFirst.records) {
    MultisetDiff diff = CompareMultisets(windowFirst.records, headlessFirst.records);
    std::printf("check        window and headless differ: %zu only in the window, %zu only "
                "headless%s\n",
                diff.onlyLeft.size(), diff.onlyRight.size(),
                diff.Same() ? " (same entries, other order)" : "");
    PrintDifference("window only:", diff.onlyLeft);
    PrintDifference("headless only:", diff.onlyRight);
    sound = false;
  } else {
    std::printf("check        OK: window and headless list the same %lld entries in the same "
                "order\n",
                static_cast<long long>(entries));
  }
  sound = CheckHits(windowFirst.records, root, SplitNulRecords(toolOut.output),
                    haveBfs ? "bfs" : "find") &&
          sound;
  if (entries != stats.expectedHits) {
    std::printf("check        hits: window %lld, generator's model %lld\n",
                static_cast<long long>(entries), static_cast<long long>(stats.expectedHits));
    sound = false;
  }
  for (const ChildReport* report : {&windowFirst, &windows.back()}) {
    sound = CheckReport(*report, "caption_ok", "Label1 does not hold the count message") && sound;
    sound = CheckReport(*report, "caption_shown", "Label1 does not show its caption") && sound;
    sound = CheckReport(*report, "select_all_ok", "select-all left entries unchecked") && sound;
    if (report->Number("rows_shown") != report->Number("entries")) {
      std::printf("check        List1 shows %.0f of %.0f entries after the scan\n",
                  report->Number("rows_shown"), report->Number("entries"));
      sound = false;
    }
    if (report->Number("boxes") != 0) {
      std::printf("check        %.0f message boxes, the first: %s\n", report->Number("boxes"),
                  report->Text("first_box").c_str());
      sound = false;
    }
  }
  if (windowFirst.Has("long_entries")) {
    sound = CheckReport(windowFirst, "long_select_all_ok",
                        "select-all left entries of the long list unchecked") &&
            sound;
    if (windowFirst.Number("long_rows_shown") != windowFirst.Number("long_entries")) {
      std::printf("check        the long list shows %.0f of %.0f entries\n",
                  windowFirst.Number("long_rows_shown"), windowFirst.Number("long_entries"));
      sound = false;
    }
  }
  std::printf("\n");
  PrintRatio("win/headless", windowTimes, headlessTimes, "(target <= 1.3)");
  PrintRatio("  in cpu", windowCpu, headlessCpu, "");
  if (haveBfs) PrintRatio("win/bfs", windowTimes, bfsTimes, "(target <= 1.0)");
  PrintRatio("win/floor", windowTimes, floorTimes, "");
  if (haveBfs) PrintRatio("headless/bfs", headlessTimes, bfsTimes, "");
  if (options.keep) {
    std::printf("kept         %s\n", root.c_str());
  } else {
    std::printf("removing     the scan tree ...\n");
  }
  return sound;
}

bool DeleteBenchmark(const Options& options, const std::string& self) {
  bool sound = true;
  std::printf("== window deletion benchmark ==\n");
  Timings windowTimes, findTimes, selectTimes, selectHandlerTimes;
  TreeStats stats;
  std::int64_t failures = 0;
  std::string firstFailure;
  std::printf("generating   2 x %lld junk files in %lld dirs, %d round%s ...\n",
              static_cast<long long>(options.deleteFiles),
              static_cast<long long>(options.deleteDirs), options.deleteRuns,
              options.deleteRuns == 1 ? "" : "s");
  for (int round = 0; round < options.deleteRuns; ++round) {
    TreeGuard windowTree(MakeTempRoot(options.tmp, "window-delete"));
    TreeGuard findTree(MakeTempRoot(options.tmp, "window-delete-find"));
    const std::string& windowRoot = windowTree.Root();
    const std::string& findRoot = findTree.Root();
    double start = NowSeconds();
    stats = GenerateDeleteTree(windowRoot, options.deleteFiles, options.deleteDirs, options.seed);
    TreeStats copy =
        GenerateDeleteTree(findRoot, options.deleteFiles, options.deleteDirs, options.seed);
    if (round == 0) {
      std::printf("trees        2 x %lld junk files + %lld others in %lld dirs; generated in "
                  "%.1f s\n",
                  static_cast<long long>(stats.junkFiles), static_cast<long long>(stats.keptFiles),
                  static_cast<long long>(stats.dirs), NowSeconds() - start);
    }
    FloorWalk(windowRoot);  // both trees equally warm
    FloorWalk(findRoot);

    // Alternate which contender goes first, so neither always meets the
    // other's leftover writeback.
    ProcessResult window, find;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn + round) % 2 == 0) {
        window = RunProcess({self, "--child-window-delete", windowRoot}, Output::kCapture);
      } else {
        find = RunProcess(FindCommand(kFind, findRoot, "-delete"), Output::kDiscard);
      }
    }
    ChildReport report;
    if (!window.Ok() || !ParseChildReport(window.output, report)) {
      std::printf("delete       FAILED in round %d (exit %d)\n", round + 1, window.exitCode);
      sound = false;
    } else {
      windowTimes.seconds.push_back(report.Number("seconds"));
      selectTimes.seconds.push_back(report.Number("select_all_seconds"));
      selectHandlerTimes.seconds.push_back(report.Number("select_all_handler_seconds"));
      findTimes.seconds.push_back(find.seconds);
      failures += static_cast<std::int64_t>(report.Number("failures"));
      if (firstFailure.empty()) firstFailure = report.Text("first_failure");
      bool counts = report.Number("entries_before") == static_cast<double>(stats.expectedHits) &&
                    report.Number("entries_after") == 0 && report.Number("rows_shown") == 0;
      if (!counts || report.Number("question_ok") != 1 || report.Number("caption_ok") != 1 ||
          report.Number("caption_shown") != 1 || report.Number("select_all_ok") != 1 ||
          report.Number("scan_boxes") != 0) {
        std::printf("check        round %d: %s entries before (expected %lld), %s after, %s "
                    "shown; question %s, caption %s, select-all %s, %s boxes in the scan\n",
                    round + 1, report.Text("entries_before").c_str(),
                    static_cast<long long>(stats.expectedHits),
                    report.Text("entries_after").c_str(), report.Text("rows_shown").c_str(),
                    report.Number("question_ok") == 1 ? "ok" : "WRONG",
                    report.Number("caption_ok") == 1 && report.Number("caption_shown") == 1
                        ? "ok"
                        : "WRONG",
                    report.Number("select_all_ok") == 1 ? "ok" : "WRONG",
                    report.Text("scan_boxes").c_str());
        sound = false;
      }
      sound = CheckLeftovers("window", windowRoot, stats) && sound;
    }
    if (!find.Ok()) std::printf("find         exit %d in round %d\n", find.exitCode, round + 1);
    sound = CheckLeftovers("find -delete", findRoot, copy) && sound;
  }

  std::printf("\n");
  const std::string entries = Count(stats.expectedHits) + " entries";
  std::printf("select-all   %.1f ms  Command5_Click alone, best of %zu; %.1f ms until painted  "
              "(%s; target < 200 ms)\n",
              selectHandlerTimes.Best() * 1000, selectHandlerTimes.seconds.size(),
              selectTimes.Best() * 1000, entries.c_str());
  PrintTime("delete", windowTimes,
            Count(stats.junkFiles) + " junk files, Command2 from Yes to its return");
  PrintTime("find -delete", findTimes, Count(stats.junkFiles) + " junk files, walk included");
  if (failures != 0) {
    std::printf("check        %lld failure boxes, the first: %s\n",
                static_cast<long long>(failures), firstFailure.c_str());
    sound = false;
  } else if (sound) {
    std::printf("check        OK: every junk file gone, every other file kept, no failure box\n");
  }
  std::printf("\n");
  PrintRatio("delete/find", windowTimes, findTimes, "");
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
        std::fprintf(stderr, "tidwen-window-bench: %s needs a number >= %lld\n", arg.c_str(),
                     static_cast<long long>(minimum));
        std::exit(2);
      }
      ++i;
    };
    std::int64_t number = 0;
    if (arg == "--child-scan" && value != nullptr) return RunScanChild(value);
    if (arg == "--child-window-scan" && value != nullptr) {
      std::int64_t entries = 0;
      if (argc == 5 && std::string(argv[3]) == "--list-entries" &&
          !ParseCount(argv[4], entries, 0)) {
        return 2;
      }
      return RunWindowScanChild(value, entries);
    }
    if (arg == "--child-window-delete" && value != nullptr) return RunWindowDeleteChild(value);
    if (arg == "--files") {
      count(options.files, 0);
    } else if (arg == "--dirs") {
      count(options.dirs, 1);
    } else if (arg == "--specials") {
      count(options.specials, 0);
    } else if (arg == "--list-entries") {
      count(options.listEntries, 0);
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
    std::fprintf(stderr, "tidwen-window-bench: %s is needed\n", kFind);
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
    std::fprintf(stderr, "tidwen-window-bench: %s\n", e.what());
    return 1;
  }
  std::fflush(stdout);
  return sound ? 0 : 1;
}

}  // namespace
}  // namespace tidwen::bench

int main(int argc, char** argv) { return tidwen::bench::Main(argc, argv); }
