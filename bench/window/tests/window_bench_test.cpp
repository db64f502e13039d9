// The window benchmark's children run end to end on small generated trees:
// what they report must agree with the headless scan and with the files
// left on disk, or the benchmark's figures could not be trusted.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench_model.h"
#include "bench_tree.h"
#include "child_report.h"
#include "process_run.h"
#include "tests/child_expectations.h"

namespace tidwen::bench {
namespace {

const std::string kWindowBench = TIDWEN_WINDOW_BENCH_EXE;

ChildReport RunChild(const std::vector<std::string>& argv) {
  ProcessResult run = RunProcess(argv, Output::kCapture);
  ChildReport report;
  EXPECT_TRUE(run.Ok()) << argv[1] << " exited with " << run.exitCode;
  EXPECT_TRUE(ParseChildReport(run.output, report)) << argv[1];
  return report;
}

class WindowBenchChildren : public ::testing::Test {
 protected:
  TreeGuard tree_{MakeTempRoot("/tmp", "window-test")};
};

TEST_F(WindowBenchChildren, WindowScanListsWhatTheHeadlessScanListsAndMeasuresTheLongList) {
  TreeStats stats = GenerateScanTree(tree_.Root(), 3000, 250, 5, 12);
  ChildReport headless = RunChild({kWindowBench, "--child-scan", tree_.Root()});
  ChildReport window =
      RunChild({kWindowBench, "--child-window-scan", tree_.Root(), "--list-entries", "30000"});

  ExpectScanReport(window, stats);
  EXPECT_EQ(window.records, headless.records) << "the same entries in the same order";
  EXPECT_EQ(window.Number("caption_shown"), 1);
  EXPECT_EQ(window.Number("rows_shown"), window.Number("entries"));
  EXPECT_EQ(window.Number("select_all_ok"), 1);
  EXPECT_EQ(window.Number("boxes"), 0) << window.Text("first_box");

  // The paints are counted, and paced by the scan's length.
  const double seconds = window.Number("seconds");
  EXPECT_GE(window.Number("pacer_rounds"), 1);
  EXPECT_GE(window.Number("label_paints"), 1);
  EXPECT_LE(window.Number("label_paints"), seconds * 31 + 3);
  EXPECT_LE(window.Number("list_paints"), seconds * 31 + 3);
  EXPECT_GT(window.Number("list1_text_bytes"), 0);

  // The long list: every row shown, every paint and scroll timed.
  EXPECT_EQ(window.Number("long_entries"), 30000);
  EXPECT_EQ(window.Number("long_rows_shown"), 30000);
  EXPECT_EQ(window.Number("long_added_entries"), 30000 - window.Number("entries"));
  EXPECT_EQ(window.Number("long_select_all_ok"), 1);
  EXPECT_GT(window.Number("long_scroll_maximum"), 0);
  for (const char* key : {"paint_first_ms", "paint_middle_ms", "paint_last_ms", "sweep_total_ms"}) {
    EXPECT_GT(window.Number(key), 0) << key;
  }
  EXPECT_EQ(window.Number("sweep_pages"), 101);
}

TEST_F(WindowBenchChildren, WindowDeletionRemovesEveryJunkFileAndNothingElse) {
  TreeStats stats = GenerateDeleteTree(tree_.Root(), 500, 20, 6);
  ChildReport report = RunChild({kWindowBench, "--child-window-delete", tree_.Root()});
  ExpectCleanDeletion(report, 500, tree_.Root(), stats);
  EXPECT_EQ(report.Number("rows_shown"), 0);
  EXPECT_EQ(report.Number("select_all_ok"), 1);
  EXPECT_EQ(report.Number("caption_shown"), 1);
  EXPECT_GT(report.Number("seconds"), 0);
  EXPECT_GE(report.Number("with_question_seconds"), report.Number("seconds"));
}

// Sets or clears a file's immutable flag; false when the file system or the
// process cannot.
bool SetImmutable(const std::string& path, bool immutable) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  // Declared with a long, which FUSE copies whole; local filesystems keep an
  // int at its start.
  unsigned char declared[sizeof(long)] = {};
  bool done = ioctl(fd, FS_IOC_GETFLAGS, declared) == 0;
  if (done) {
    int flags = 0;
    std::memcpy(&flags, declared, sizeof flags);
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    std::memcpy(declared, &flags, sizeof flags);
    done = ioctl(fd, FS_IOC_SETFLAGS, declared) == 0;
  }
  close(fd);
  return done;
}

// A file that cannot be deleted shows a failure box; the benchmark must
// count it and keep its entry, not report the deletion as clean.
TEST_F(WindowBenchChildren, WindowDeletionCountsEveryFailureBox) {
  GenerateDeleteTree(tree_.Root(), 40, 4, 9);
  const std::string stuck = tree_.Root() + "/stuck.tmp";
  {
    int fd = open(stuck.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "junk", 4), 4);
    close(fd);
  }
  if (!SetImmutable(stuck, true)) {
    GTEST_SKIP() << "cannot make a file immutable here (needs CAP_LINUX_IMMUTABLE and a file "
                    "system with the flag), so no deletion can be made to fail";
  }
  ChildReport report = RunChild({kWindowBench, "--child-window-delete", tree_.Root()});
  SetImmutable(stuck, false);
  EXPECT_EQ(report.Number("entries_before"), 41);
  EXPECT_EQ(report.Number("entries_after"), 1);
  EXPECT_EQ(report.Number("failures"), 1);
  EXPECT_NE(report.Text("first_failure").find("stuck.tmp"), std::string::npos)
      << report.Text("first_failure");
  EXPECT_EQ(report.Number("caption_ok"), 1);
  EXPECT_EQ(access(stuck.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace tidwen::bench
