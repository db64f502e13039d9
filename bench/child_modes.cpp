#include "child_modes.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "bench_model.h"
#include "child_report.h"
#include "clean/cleaner.h"
#include "headless_form.h"
#include "process_run.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"

namespace tidwen::bench {

std::string ResolveDirectory(const std::string& dir) {
  char resolved[PATH_MAX];
  struct stat st {};
  if (realpath(dir.c_str(), resolved) == nullptr || stat(resolved, &st) != 0 ||
      !S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "tidwen-bench: not a directory: %s\n", Printable(dir).c_str());
    return {};
  }
  return resolved;
}

void WriteEntries(const ListControl& list, std::int64_t count, char end) {
  count = std::min(count, list.ListCount());
  for (std::int64_t i = 0; i < count; ++i) {
    std::string_view entry = list.List(i);
    std::fwrite(entry.data(), 1, entry.size(), stdout);
    std::fputc(end, stdout);
  }
}

int EndReportWithEntries(const ListControl& list, std::int64_t count) {
  std::printf("\n");
  WriteEntries(list, count, '\0');
  return FlushOutput();
}

namespace {

// Runs `run` on a HeadlessForm of dir's canonical path after Form_Load, with
// message boxes that abort, since a scan must never show one. Returns run's
// exit code, or 2 when dir is not a directory.
template <typename Run>
int WithScanForm(const std::string& dir, Run run) {
  std::string root = ResolveDirectory(dir);
  if (root.empty()) return 2;
  AbortingMessageBox box;
  HeadlessForm form(root, box);
  Form_Load(form.Context());
  return run(form);
}

}  // namespace

int RunListMode(const std::string& dir, bool walk) {
  return WithScanForm(dir, [walk](HeadlessForm& form) {
    form.platform().SetVolumeIndex(!walk);
    Command1_Click(form.Context());
    WriteEntries(form.ResultList(), form.ResultList().ListCount(), '\n');
    // Said apart from the list, so that a test can tell how it was read.
    if (const std::int64_t indexed = form.platform().IndexedListings(); indexed > 0) {
      std::fprintf(stderr, "tidwen-bench: %lld listings from the Master File Table\n",
                   static_cast<long long>(indexed));
    }
    return FlushOutput();
  });
}

int RunScanChild(const std::string& dir, bool oneThread, bool walk, bool records) {
  return WithScanForm(dir, [oneThread, walk, records](HeadlessForm& form) {
    if (oneThread) form.platform().SetReadAhead(0);
    form.platform().SetVolumeIndex(!walk);
    long rssBefore = ReadStatusKb("VmRSS");
    ResetPeakRss();
    double cpuStart = CpuSeconds();
    double start = NowSeconds();
    Command1_Click(form.Context());
    double seconds = NowSeconds() - start;
    double cpuSeconds = CpuSeconds() - cpuStart;
    long peak = ReadStatusKb("VmHWM");

    const PlainListControl& results = form.ResultList();
    WriteValue("seconds", seconds);
    WriteValue("cpu_seconds", cpuSeconds);
    WriteValue("rss_before_kb", rssBefore);
    WriteValue("hwm_kb", peak);
    WriteValue("entries", results.ListCount());
    WriteValue("queued_dirs", form.Context().List3.ListCount());
    WriteValue("indexed", form.platform().IndexedListings());
    WriteValue("caption_ok", form.Label().Caption() == ScanCaption(results.ListCount()) ? 1 : 0);
    WriteValue("last_entry_bytes",
               results.ListCount() > 0 ? results.List(results.ListCount() - 1).size() : 0);
    return EndReportWithEntries(results, records ? results.ListCount() : 0);
  });
}

int RunDeleteChild(const std::string& dir) {
  std::string root = ResolveDirectory(dir);
  if (root.empty()) return 2;
  YesMessageBox box;
  HeadlessForm form(root, box);
  Form1Context& context = form.Context();
  Form_Load(context);
  double scanStart = NowSeconds();
  Command1_Click(context);
  double scanSeconds = NowSeconds() - scanStart;
  if (box.questions + box.failures != 0) {
    std::fprintf(stderr, "tidwen-bench: the scan showed a message box\n");
    return 1;
  }

  const std::int64_t before = context.List1.ListCount();
  for (std::int64_t i = 0; i < before; ++i) context.List1.SetSelected(i, true);
  double cpuStart = CpuSeconds();
  double start = NowSeconds();
  Command2_Click(context);
  double seconds = NowSeconds() - start;
  double cpuSeconds = CpuSeconds() - cpuStart;

  const std::int64_t after = context.List1.ListCount();
  WriteValue("scan_seconds", scanSeconds);
  WriteValue("seconds", seconds);
  WriteValue("cpu_seconds", cpuSeconds);
  WriteDeletionValues(before, after, box, form.Label().Caption());
  return EndReport();
}

}  // namespace tidwen::bench
