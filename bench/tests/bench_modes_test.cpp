// The benchmark's own modes run end to end through the built tidwen-bench:
// what --list prints, and what the scan and deletion children report.

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench_model.h"
#include "bench_tree.h"
#include "child_expectations.h"
#include "child_report.h"
#include "process_run.h"

namespace tidwen::bench {
namespace {

const std::string kBench = TIDWEN_BENCH_EXE;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

std::vector<std::string> FindHits(const std::string& root) {
  std::vector<std::string> argv = {"/usr/bin/find", root};
  for (std::string& arg : FindExpression()) argv.push_back(std::move(arg));
  argv.push_back("-print0");
  ProcessResult find = RunProcess(argv, Output::kCapture);
  EXPECT_TRUE(find.Ok());
  return ExpandFindHits(SplitNulRecords(find.output));
}

class BenchModes : public ::testing::Test {
 protected:
  TreeGuard tree_{MakeTempRoot("/tmp", "test")};
};

TEST_F(BenchModes, ListPrintsEveryHitBreadthFirstAndNothingElse) {
  TreeStats stats = GenerateScanTree(tree_.Root(), 3000, 200, 21, 24);
  ProcessResult list = RunProcess({kBench, "--list", tree_.Root()}, Output::kCapture);
  ASSERT_TRUE(list.Ok());
  ASSERT_FALSE(list.output.empty());
  EXPECT_EQ(list.output.back(), '\n');
  std::vector<std::string> lines = Lines(list.output);
  EXPECT_EQ(static_cast<std::int64_t>(lines.size()), stats.expectedHits);

  std::vector<std::string> posix;
  std::size_t lastDepth = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    ASSERT_EQ(line.rfind("c:\\", 0), 0u) << Printable(line);
    posix.push_back(DrivePathToPosix(line, tree_.Root()));
    // Breadth-first: no entry lies shallower than the one before it.
    std::size_t depth = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\\'));
    EXPECT_GE(depth, lastDepth) << Printable(line);
    lastDepth = depth;
  }
  EXPECT_TRUE(CompareMultisets(posix, FindHits(tree_.Root())).Same());
}

TEST_F(BenchModes, ListOfAMissingDirectoryPrintsNothingAndFails) {
  ProcessResult list = RunProcess({kBench, "--list", tree_.Root() + "/missing"}, Output::kCapture);
  EXPECT_EQ(list.exitCode, 2);
  EXPECT_TRUE(list.output.empty());
}

TEST_F(BenchModes, ScanChildReportsItsEntriesAndMemory) {
  TreeStats stats = GenerateScanTree(tree_.Root(), 1500, 120, 8, 8);
  ProcessResult child = RunProcess({kBench, "--child-scan", tree_.Root()}, Output::kCapture);
  ASSERT_TRUE(child.Ok());
  ChildReport report;
  ASSERT_TRUE(ParseChildReport(child.output, report));
  ExpectScanReport(report, stats);
}

TEST_F(BenchModes, DeleteChildRemovesEveryJunkFileAndNothingElse) {
  TreeStats stats = GenerateDeleteTree(tree_.Root(), 600, 30, 4);
  ProcessResult child = RunProcess({kBench, "--child-delete", tree_.Root()}, Output::kCapture);
  ASSERT_TRUE(child.Ok());
  ChildReport report;
  ASSERT_TRUE(ParseChildReport(child.output, report));
  ExpectCleanDeletion(report, 600, tree_.Root(), stats);
}

TEST_F(BenchModes, StoppingTheBenchmarkRemovesItsTree) {
  // A tree far too big to finish while the test waits, under a directory of
  // the test's own; stopped as soon as it says it is generating.
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    execl(kBench.c_str(), kBench.c_str(), "--files", "2000000", "--scan-only", "--tmp",
          tree_.Root().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  close(out[1]);
  std::string seen;
  char buffer[256];
  ssize_t got;
  while (seen.find("generating") == std::string::npos &&
         (got = read(out[0], buffer, sizeof buffer)) > 0) {
    seen.append(buffer, static_cast<std::size_t>(got));
  }
  usleep(200 * 1000);  // let it make some files
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  close(out[0]);
  ASSERT_NE(seen.find("generating"), std::string::npos) << seen;
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);

  DIR* dir = opendir(tree_.Root().c_str());
  ASSERT_NE(dir, nullptr);
  std::vector<std::string> left;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") left.push_back(name);
  }
  closedir(dir);
  EXPECT_TRUE(left.empty()) << left.front();
}

}  // namespace
}  // namespace tidwen::bench
