#include "window/other_scans.h"

#include <cstdio>

#include "bench_tree.h"
#include "child_report.h"
#include "deep_chain.h"
#include "process_run.h"

namespace tidwen::bench {

namespace {

constexpr int kDepth = 4096;
constexpr int kNameBytes = 255;
constexpr double kTargetMiB = 128;

double MiB(double kb) { return kb / 1024.0; }

}  // namespace

bool CheckCliOutput(const std::string& output, const std::vector<std::string>& headlessRecords,
                    const std::string& rootDrivePath) {
  std::string expected;
  for (const std::string& record : headlessRecords) {
    expected += rootDrivePath + record.substr(2) + "\n";
  }
  if (!rootDrivePath.empty() && output == expected) {
    std::printf("check        OK: tidwen-cli lists the same entries in the same order\n");
    return true;
  }
  std::printf("check        tidwen-cli does not list what the headless scan lists\n");
  return false;
}

bool DeepChainBenchmark(const BenchOptions& options, const std::string& self,
                        const MillionPeaks& million) {
  std::printf("\n== deep chain: %d directories of %d-byte names, a junk file in each ==\n", kDepth,
              kNameBytes);
  TreeGuard guard(MakeTempRoot(options.tmp, "deep"));
  const DeepChain chain(guard.Root(), kDepth, kNameBytes);
  // The deepest hit is in the last directory but one: "c:\", the names
  // above it, each with its "\", and "x.tmp".
  const double deepestBytes = 3.0 + (kDepth - 1) * (kNameBytes + 1.0) + 5;
  bool sound = true;
  for (const auto& [mode, name, millionKb] :
       {std::tuple{"--child-scan-deep", "headless", million.headlessKb},
        std::tuple{"--child-window-scan-deep", "window", million.windowKb}}) {
    const ProcessResult run = RunProcess({self, mode, guard.Root()}, Output::kCapture);
    ChildReport report;
    if (!run.Ok() || !ParseChildReport(run.output, report)) {
      std::printf("%-12s FAILED (exit %d)\n", name, run.exitCode);
      sound = false;
      continue;
    }
    const double peak = report.Number("hwm_kb");
    std::printf(
        "%-12s peak %.1f MiB (target < %.0f), %.1f MiB over its VmRSS before; %.0f hits in "
        "%.2f s; the million-file tree's peak %.1f MiB\n",
        name, MiB(peak), kTargetMiB, MiB(peak - report.Number("rss_before_kb")),
        report.Number("entries"), report.Number("seconds"), MiB(static_cast<double>(millionKb)));
    if (report.Number("entries") != kDepth || report.Number("last_entry_bytes") != deepestBytes) {
      std::printf("check        %s: %.0f hits, the last %.0f bytes long (expected %d, %.0f)\n",
                  name, report.Number("entries"), report.Number("last_entry_bytes"), kDepth,
                  deepestBytes);
      sound = false;
    }
  }
  return sound;
}

}  // namespace tidwen::bench
