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
#include "platform/platform.h"
#include "process_run.h"
#include "window/other_scans.h"
#include "window/window_child.h"

namespace tidwen::bench {
namespace {

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
  std::printf(
      "long list    List1 filled to %.0f entries (%.0f added as a repeat scan "
      "would) in %.2f s, shown in %.2f s\n",
      report.Number("long_entries"), added, report.Number("long_fill_seconds"),
      report.Number("long_show_seconds"));
  std::printf("  per entry  %.1f bytes held by the list beyond the text  (target <= 48)\n",
              PerEntry(report.Number("long_overhead_bytes"), report.Number("long_entries")));
  std::printf(
      "             %.1f bytes of RSS growth per added entry beyond its text "
      "(%.0f text bytes added)\n",
      PerEntry(report.Number("long_rss_growth_kb") * 1024 - report.Number("long_added_text_bytes"),
               added),
      report.Number("long_added_text_bytes"));
  std::printf(
      "  paint      first page %.2f ms, middle page %.2f ms, last page %.2f ms  "
      "(target < 50 ms each)\n",
      report.Number("paint_first_ms"), report.Number("paint_middle_ms"),
      report.Number("paint_last_ms"));
  std::printf(
      "  scroll     top to bottom in %.0f pages: %.1f ms in all, worst page %.2f ms; "
      "jump to the bottom %.2f ms; whole window grabbed in %.1f ms\n",
      report.Number("sweep_pages"), report.Number("sweep_total_ms"),
      report.Number("sweep_worst_ms"), report.Number("jump_to_bottom_ms"),
      report.Number("grab_window_ms"));
  std::printf("  select-all %.1f ms on %.0f entries, painted included\n",
              report.Number("long_select_all_seconds") * 1000, report.Number("long_entries"));
}

bool ScanBenchmark(const BenchOptions& options, std::int64_t listEntries, const std::string& self) {
  bool sound = true;
  std::printf("== window scan benchmark: Form1 on Qt's offscreen platform ==\n");
  ScanTree tree(options, "window");
  const std::string& root = tree.Root();
  const TreeStats& stats = tree.Stats();

  // One untimed pass of each contender warms the caches and gives the
  // outputs for the checks; the window's also measures the long list.
  FloorResult floor = FloorWalk(root);
  const bool haveBfs = Executable(kBfs);
  const char* tool = haveBfs ? kBfs : kFind;
  ProcessResult toolOut = RunProcess(FindCommand(tool, root, "-print0"), Output::kCapture);
  ChildReport headlessFirst, windowFirst;
  if (!RunChild({self, "--child-scan", root}, headlessFirst, "headless") ||
      !RunChild({self, "--child-window-scan", root, "--list-entries", Count(listEntries)},
                windowFirst, "window")) {
    return false;
  }
  if (!toolOut.Ok()) {
    std::printf("%-12s exit %d\n", tool, toolOut.exitCode);
    sound = false;
  }
  // The command line scans the tree where it lies, as a folder of a drive.
  const std::optional<std::string> rootDrivePath = MakeSystemPlatform()->DrivePathOf(root);
  const std::vector<std::string> cli = {TIDWEN_CLI_EXE, "scan", root};
  const ProcessResult cliOut = RunProcess(cli, Output::kCapture);

  Timings floorTimes, bfsTimes, headlessTimes, windowTimes, headlessCpu, windowCpu, cliTimes;
  PeakMemory memory, headlessMemory;
  std::vector<ChildReport> windows;
  // Each round runs every contender once, back to back, so that the
  // per-round ratios compare runs that met the same machine load.
  for (int run = 0; run < options.runs; ++run) {
    double floorSeconds = TimeFloorWalk(root);
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
    cliTimes.seconds.push_back(RunProcess(cli, Output::kDiscard).seconds);
    headlessTimes.seconds.push_back(headless.Number("seconds"));
    headlessCpu.seconds.push_back(headless.Number("cpu_seconds"));
    windowTimes.seconds.push_back(window.Number("seconds"));
    windowCpu.seconds.push_back(window.Number("cpu_seconds"));
    memory.Add(window);
    headlessMemory.Add(headless);
    windows.push_back(std::move(window));
  }
  if (windows.empty()) return false;

  const auto entries = static_cast<std::int64_t>(windowFirst.records.size());
  const double queued = windowFirst.Number("queued_dirs");
  std::printf("\n");
  PrintFloorTime(floorTimes, floor);
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
  PrintTime("cli", cliTimes, "tidwen-cli scan of the tree as a folder of its drive, start to exit");
  PrintTime("headless cpu", headlessCpu, "user + system");
  PrintTime("window cpu", windowCpu, "user + system");
  std::printf("window load  %.3f s  (Form1 made, Form_Load included)\n",
              windowFirst.Number("load_seconds"));
  std::printf("\n");
  // Paints in each round, and the highest rate any round reached.
  std::printf(
      "repaints     during the scan, in each round; the highest rate  (target <= ~30 "
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
  std::printf(
      "memory       peak %.1f MiB (VmHWM of the window's process during the scan), "
      "%.1f MiB over its VmRSS before the scan; headless %.1f MiB over\n",
      Kib(static_cast<double>(memory.peakKb)), Kib(static_cast<double>(memory.growthKb)),
      Kib(static_cast<double>(headlessMemory.growthKb)));
  const ChildReport& last = windows.back();
  const double list1Entries = last.Number("entries");
  std::printf(
      "  per entry  List1 %.1f bytes beyond the text (%.0f entries), List3 %.1f "
      "(%.0f entries)  (target <= 48)\n",
      PerEntry(last.Number("list1_overhead_bytes"), list1Entries), list1Entries,
      PerEntry(last.Number("list3_overhead_bytes"), last.Number("queued_dirs")),
      last.Number("queued_dirs"));
  const double textBytes = last.Number("list1_text_bytes") + last.Number("list3_text_bytes");
  std::printf(
      "             %.1f bytes of RSS growth per List1 and List3 entry beyond its text "
      "(all of the scan's growth, listers included)\n",
      PerEntry((last.Number("rss_after_kb") - last.Number("rss_before_kb")) * 1024 - textBytes,
               list1Entries + last.Number("queued_dirs")));
  std::printf("select-all   %.1f ms on %.0f entries, painted included\n",
              windowFirst.Number("select_all_seconds") * 1000, windowFirst.Number("entries"));
  PrintLongList(windowFirst);
  std::printf("\n");

  // The window must list exactly what the headless scan lists, in the same
  // order, and what the tools find.
  if (windowFirst.records != headlessFirst.records) {
    MultisetDiff diff = CompareMultisets(windowFirst.records, headlessFirst.records);
    std::printf(
        "check        window and headless differ: %zu only in the window, %zu only "
        "headless%s\n",
        diff.onlyLeft.size(), diff.onlyRight.size(),
        diff.Same() ? " (same entries, other order)" : "");
    PrintDifference("window only:", diff.onlyLeft);
    PrintDifference("headless only:", diff.onlyRight);
    sound = false;
  } else {
    std::printf(
        "check        OK: window and headless list the same %lld entries in the same "
        "order\n",
        static_cast<long long>(entries));
  }
  sound = cliOut.Ok() &&
          CheckCliOutput(cliOut.output, headlessFirst.records, rootDrivePath.value_or("")) && sound;
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
  PrintRatio("win/headless", windowTimes, headlessTimes, "(target <= 1.1)");
  PrintRatio("  in cpu", windowCpu, headlessCpu, "");
  PrintRatio("cli/headless", cliTimes, headlessTimes, "(target <= 1.05)");
  PrintRatio("cli/win", cliTimes, windowTimes, "");
  if (haveBfs) PrintRatio("win/bfs", windowTimes, bfsTimes, "(target <= 1.0)");
  PrintRatio("win/floor", windowTimes, floorTimes, "");
  if (haveBfs) PrintRatio("headless/bfs", headlessTimes, bfsTimes, "");
  if (options.keep) {
    std::printf("kept         %s\n", root.c_str());
  } else {
    std::printf("removing     the scan tree ...\n");
  }
  return DeepChainBenchmark(options, self, {headlessMemory.peakKb, memory.peakKb}) && sound;
}

bool DeleteBenchmark(const BenchOptions& options, const std::string& self) {
  std::printf("== window deletion benchmark ==\n");
  Timings windowTimes, selectTimes, selectHandlerTimes;
  std::printf("generating   2 x %lld junk files in %lld dirs, %d round%s ...\n",
              static_cast<long long>(options.deleteFiles),
              static_cast<long long>(options.deleteDirs), options.deleteRuns,
              options.deleteRuns == 1 ? "" : "s");
  DeleteContender window;
  window.tag = "window-delete";
  window.childMode = "--child-window-delete";
  window.name = "window";
  window.takeReport = [&](const ChildReport& report, const TreeStats& stats, int round) {
    windowTimes.seconds.push_back(report.Number("seconds"));
    selectTimes.seconds.push_back(report.Number("select_all_seconds"));
    selectHandlerTimes.seconds.push_back(report.Number("select_all_handler_seconds"));
    bool counts = report.Number("entries_before") == static_cast<double>(stats.expectedHits) &&
                  report.Number("entries_after") == 0 && report.Number("rows_shown") == 0;
    if (counts && report.Number("question_ok") == 1 && report.Number("caption_ok") == 1 &&
        report.Number("caption_shown") == 1 && report.Number("select_all_ok") == 1 &&
        report.Number("scan_boxes") == 0) {
      return true;
    }
    std::printf(
        "check        round %d: %s entries before (expected %lld), %s after, %s "
        "shown; question %s, caption %s, select-all %s, %s boxes in the scan\n",
        round + 1, report.Text("entries_before").c_str(),
        static_cast<long long>(stats.expectedHits), report.Text("entries_after").c_str(),
        report.Text("rows_shown").c_str(), report.Number("question_ok") == 1 ? "ok" : "WRONG",
        report.Number("caption_ok") == 1 && report.Number("caption_shown") == 1 ? "ok" : "WRONG",
        report.Number("select_all_ok") == 1 ? "ok" : "WRONG", report.Text("scan_boxes").c_str());
    return false;
  };
  DeleteRounds rounds = RunDeleteRounds(options, self, window);

  std::printf("\n");
  const std::string entries = Count(rounds.stats.expectedHits) + " entries";
  std::printf(
      "select-all   %.1f ms  Command5_Click alone, best of %zu; %.1f ms until painted  "
      "(%s; target < 200 ms)\n",
      selectHandlerTimes.Best() * 1000, selectHandlerTimes.seconds.size(),
      selectTimes.Best() * 1000, entries.c_str());
  PrintDeleteTimes(windowTimes, rounds, "Command2 from Yes to its return");
  return CloseDeletion(rounds, windowTimes, "");
}

// The modes in which the window benchmark runs as its own child.
std::optional<int> ChildMode(const BenchArg& word) {
  const std::string& arg = word.Arg();
  const char* value = word.Value();
  if (arg == "--child-scan" && value != nullptr) return RunScanChild(value);
  if (arg == "--child-window-scan" && value != nullptr) {
    std::int64_t entries = 0;
    if (word.Argc() == 5 && std::string(word.Word(3)) == "--list-entries" &&
        !ParseCount(word.Word(4), entries, 0)) {
      return 2;
    }
    return RunWindowScanChild(value, entries);
  }
  if (arg == "--child-window-delete" && value != nullptr) return RunWindowDeleteChild(value);
  // The deep chain's scans: no records, which would be gigabytes.
  if (arg == "--child-scan-deep" && value != nullptr)
    return RunScanChild(value, false, false, false);
  if (arg == "--child-window-scan-deep" && value != nullptr) {
    return RunWindowScanChild(value, 0, false);
  }
  return std::nullopt;
}

int Main(int argc, char** argv) {
  BenchOptions options{.files = 1000000, .dirs = 100000, .runs = 3, .deleteRuns = 1};
  std::int64_t listEntries = 1000000;  // --list-entries, this benchmark's own option
  auto listEntriesOption = [&](BenchArg& word) {
    if (word.Arg() != "--list-entries") return false;
    word.Count(listEntries, 0);
    return true;
  };
  auto scan = [&](const BenchOptions& parsed, const std::string& self) {
    return ScanBenchmark(parsed, listEntries, self);
  };
  return RunBenchMain(argc, argv, options,
                      {.name = "tidwen-window-bench",
                       .usage = Usage,
                       .childMode = ChildMode,
                       .extraOption = listEntriesOption,
                       .scanBenchmark = scan,
                       .deleteBenchmark = DeleteBenchmark});
}

}  // namespace
}  // namespace tidwen::bench

int main(int argc, char** argv) { return tidwen::bench::Main(argc, argv); }
