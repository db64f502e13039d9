// tidwen-cli as its users run it, on Linux and on Windows (under Wine): it
// lists what the window's scan lists, deletes exactly the listed files that
// pass the checks, and meets bad input with its documented code and word.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clean/cleaner.h"
#include "memory_platform.h"
#include "model/plain_controls.h"
#include "platform/contract/contract_support.h"
#include "platform/platform_services.h"
#include "rules/junk_rules.h"
#include "run_program.h"
#include "scan/drive_walk.h"

namespace tidwen::test {
namespace {

namespace fs = std::filesystem;
using contract::Tree;
using ::testing::HasSubstr;

std::string CliPath() {
  std::string path = TIDWEN_CLI_EXE;
#ifdef _WIN32
  // The build's path is the Linux one; under Wine, "/" is drive z:.
  if (!path.empty() && path[0] == '/') {
    std::replace(path.begin(), path.end(), '/', '\\');
    path = "z:" + path;
  }
#endif
  return path;
}

RunResult Cli(const std::vector<std::string>& arguments, const RunOptions& options = {}) {
  RunOptions english = options;
  english.environment.insert(english.environment.begin(), {"LC_ALL", "C"});
  return RunProgram(CliPath(), arguments, english);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"x.tmp", "sp ace/y.old", "a/a.$$$", "a/b/deep/d.bak", "中文.tmp"}) {
      tree_.File(f, "junk");
    }
    tree_.File("keep.txt", "keep");
    tree_.File("a/b/empty.txt", "");
    tree_.File("pkg/__init__.py", "");  // never offered
    tree_.File(".git/x.tmp", "1");      // never walked
  }
  // Below the tree's folder: what follows its name in a drive path.
  std::vector<std::string> Relative(const std::vector<std::string>& paths) const {
    const std::string name = fs::path(tree_.Root()).filename().string() + "\\";
    std::vector<std::string> out;
    for (const std::string& p : paths) {
      const std::size_t at = p.find(name);
      out.push_back(at == std::string::npos ? "?" + p : p.substr(at + name.size()));
    }
    return out;
  }
  // What the window's scan lists over the tree as drive c:, below "c:\".
  std::vector<std::string> WindowScan(const std::vector<int>& unchecked = {}) {
    const std::unique_ptr<Platform> platform = MakeDirectoryPlatform(tree_.Root());
    PlainListControl list1, list2, list3;
    PlainLabel label1;
    PlainDriveList drive1("c:");
    ScriptedMessageBox box;
    Form1Context form = MakeForm1Context({list1, list2, list3, label1, drive1},
                                         {platform->Dir1(), platform->File1(),
                                          platform->FileLength(), platform->FileSystem()},
                                         box);
    Form_Load(form);
    for (const int type : unchecked) list2.SetSelected(type, false);
    Command1_Click(form);
    platform->ReleaseHandles();
    std::vector<std::string> out;
    for (std::int64_t i = 0; i < list1.ListCount(); ++i) {
      out.emplace_back(list1.List(i).substr(3));
    }
    return out;
  }

  Tree tree_;
};

TEST_F(CliTest, ScanListsWhatTheWindowsScanLists) {
  const RunResult all = Cli({"scan", tree_.Root()});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  EXPECT_EQ(all.err, "") << "nothing on standard error when it is no terminal";
  const std::vector<std::string> window = WindowScan();
  ASSERT_EQ(window.size(), 7u);  // a.$$$ twice, and neither __init__.py nor .git
  EXPECT_EQ(Relative(Lines(all.out)), window);
  // A folder given with a closing separator is the same folder.
  EXPECT_EQ(Cli({"scan", (fs::path(tree_.Root()) / "").string()}).out, all.out);

  const RunResult some = Cli({"scan", "--types", "*.bak, 0字节", tree_.Root()});
  std::vector<int> others;
  for (int t = 0; t < kJunkTypeCount; ++t) {
    if (t != 3 && t != kZeroLengthType) others.push_back(t);
  }
  EXPECT_EQ(Relative(Lines(some.out)), WindowScan(others));
}

TEST_F(CliTest, CsvAndJsonGiveSizeModificationTimeAndType) {
  const RunResult csv = Cli({"scan", "--format", "csv", "--types", "*.old", tree_.Root()});
  const std::vector<std::string> rows = Lines(csv.out);
  ASSERT_EQ(rows.size(), 2u) << csv.out;
  EXPECT_EQ(rows[0], "path,size,modified,type");
  // "...\sp ace\y.old",4,2024-06-11T09:30:00Z,"*.old"
  EXPECT_THAT(rows[1], HasSubstr("\\sp ace\\y.old\",4,20"));
  EXPECT_THAT(rows[1], ::testing::EndsWith("Z,\"*.old\""));
  EXPECT_EQ(rows[1].size() - rows[1].rfind(",4,"),
            std::string(",4,2024-06-11T09:30:00Z,\"*.old\"").size());
  const RunResult json = Cli({"scan", "--format=json", "--types", "*.old", tree_.Root()});
  EXPECT_THAT(json.out, HasSubstr("\"size\": 4, \"modified\": \"20"));
  EXPECT_THAT(json.out, HasSubstr("\\\\sp ace\\\\y.old\""));
  EXPECT_EQ(json.out.front(), '[');
}

TEST_F(CliTest, CleanDeletesExactlyTheListedFilesThatPassTheChecks) {
  tree_.File("ro.tmp", "ro");
  tree_.SetReadOnly("ro.tmp");
  const std::string report = (fs::path(tree_.Root()) / "report.csv").string();
  const RunResult run = Cli({"clean", "--yes", "--report", report, tree_.Root()});
  EXPECT_EQ(run.exitCode, 1) << "a read-only file was refused";
  const std::vector<std::string> out = Lines(run.out);
  // Every file is listed before anything is deleted, then each outcome.
  ASSERT_GE(out.size(), 8u);
  EXPECT_THAT(out[8], HasSubstr("7 files, 22 bytes"));
  for (const char* gone :
       {"x.tmp", "sp ace/y.old", "a/a.$$$", "a/b/deep/d.bak", "中文.tmp", "a/b/empty.txt"}) {
    EXPECT_FALSE(tree_.Exists(gone)) << gone;
  }
  for (const char* kept : {"keep.txt", "pkg/__init__.py", ".git/x.tmp", "ro.tmp", "report.csv"}) {
    EXPECT_TRUE(tree_.Exists(kept)) << kept;
  }
  EXPECT_THAT(run.out, HasSubstr("not deleted"));
  EXPECT_THAT(run.out, HasSubstr("(listed twice)"));
  const std::string csv = tree_.Read("report.csv");
  EXPECT_EQ(Lines(csv).size(), 9u) << csv;
  EXPECT_THAT(csv, HasSubstr("ro.tmp\",2,"));
  EXPECT_THAT(csv, HasSubstr(",refused,70,"));
}

TEST_F(CliTest, DryRunAndNoDeleteNothing) {
  const RunResult dry = Cli({"clean", "--dry-run", tree_.Root()});
  EXPECT_EQ(dry.exitCode, 0);
  EXPECT_THAT(dry.out, HasSubstr("nothing was deleted"));
  const RunResult no = Cli({"clean", tree_.Root()}, {.input = "n\n"});
  EXPECT_EQ(no.exitCode, 0);
  EXPECT_THAT(no.err, HasSubstr("Delete these 6 files (20 bytes)? [y/N]"));
  EXPECT_THAT(no.out, HasSubstr("nothing deleted"));
  EXPECT_TRUE(tree_.Exists("x.tmp") && tree_.Exists("a/b/empty.txt"));
}

// Each bad input: its exit code and its words, and nothing deleted.
TEST_F(CliTest, BadInputGivesItsCodeAndMessage) {
  const std::string root = tree_.Root();
  const std::string file = (fs::path(root) / "keep.txt").string();
  const std::string missing = (fs::path(root) / "missing").string();
  const std::string badReport = (fs::path(root) / "no" / "dir" / "r.csv").string();
  struct Row {
    std::vector<std::string> arguments;
    int exitCode;
    std::string says;
    bool closedOutput = false;
  };
  std::vector<Row> rows = {
      {{"scan", "--types", "*.tmpx", root}, 2, "unknown junk type: *.tmpx"},
      {{"scan", "--types", "", root}, 2, "--types names no type"},
      {{"frobnicate"}, 2, "unknown command: frobnicate"},
      {{"scan"}, 2, "scan needs a TARGET"},
      {{"scan", root, root}, 2, "one TARGET only"},
      {{"clean", "--format", "csv", root}, 2, "--format does not go with clean"},
      {{"scan", "--format", "xml", root}, 2, "unknown format: xml"},
      {{"clean", "--yes", "--report", badReport, root}, 2, "cannot write the report"},
      {{"scan", "q:"}, 3, "no such drive: q:"},
      {{"scan", file}, 3, "cannot reach"},
      {{"clean", "--yes", missing}, 3, "cannot reach"},
      {{"clean", "--yes", root}, 1, "standard output is closed", true},
      {{"scan", root}, 1, "standard output is closed", true},
  };
#ifndef _WIN32
  rows.push_back({{"scan", "/proc"}, 3, "/proc lies on no drive that Tidwen scans"});
#endif
  for (const Row& row : rows) {
    const RunResult run = Cli(row.arguments, {.closedOutput = row.closedOutput});
    SCOPED_TRACE(row.says);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_THAT(run.err, HasSubstr(row.says));
    // One line says what is wrong; bad usage adds the usage.
    EXPECT_EQ(run.err.rfind("tidwen-cli: ", 0), 0u) << run.err;
    if (row.exitCode == 2) {
      EXPECT_THAT(run.err, HasSubstr("usage: tidwen-cli drives"));
    }
    EXPECT_TRUE(tree_.Exists("x.tmp") && tree_.Exists("a/b/empty.txt"));
  }
}

TEST_F(CliTest, DrivesListsTheWindowsDriveList) {
  const RunResult run = Cli({"drives"});
  EXPECT_EQ(run.exitCode, 0);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    EXPECT_TRUE(line.size() >= 2 && line[0] >= 'a' && line[0] <= 'z' && line[1] == ':') << line;
  }
}

#ifndef _WIN32
TEST_F(CliTest, TextsFollowTheLocale) {
  const RunResult chinese =
      RunProgram(CliPath(), {"scan", "q:"}, {.environment = {{"LANG", "zh_CN.UTF-8"}}});
  EXPECT_THAT(chinese.err, HasSubstr("没有这个驱动器: q:"));
  const RunResult english =
      RunProgram(CliPath(), {"scan", "q:"}, {.environment = {{"LANG", "en_GB.UTF-8"}}});
  EXPECT_THAT(english.err, HasSubstr("no such drive: q:"));
}

TEST_F(CliTest, CtrlCAtTheQuestionDeletesNothing) {
  const RunResult run = Cli({"clean", tree_.Root()}, {.interruptAfter = "[y/N]"});
  EXPECT_EQ(run.exitCode, 130);
  EXPECT_THAT(run.err, HasSubstr("interrupted: 0 files deleted, 6 not tried"));
  EXPECT_TRUE(tree_.Exists("x.tmp") && tree_.Exists("a/b/empty.txt"));
}

TEST_F(CliTest, ProgressShowsOnlyOnATerminal) {
  const RunResult run = Cli({"scan", tree_.Root()}, {.errorTerminal = true});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_THAT(run.err, HasSubstr("files tested, 0 hits, "));
  EXPECT_EQ(Lines(run.out).size(), 7u);
}
#endif

}  // namespace
}  // namespace tidwen::test
