// Runs a program of the build as a user would, with its standard streams
// in pipes, and gives back what it wrote and its exit code. Linux and
// Windows (under Wine too).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tidwen::test {

struct RunOptions {
  std::string input = {};  // written to standard input, which is then closed
  std::vector<std::pair<std::string, std::string>> environment = {};  // set for the program
  // Standard output is a pipe whose reading end is closed, as when the
  // program's output goes to `head` that has ended.
  bool closedOutput = false;
  // Linux: standard error is a terminal (a pseudo-terminal).
  bool errorTerminal = false;
  // Linux: standard input stays open, and once standard error has shown
  // this text the program gets SIGINT, as from Ctrl+C.
  std::string interruptAfter = {};
};

struct RunResult {
  int exitCode = -1;  // 128 + the signal when a signal ended it
  std::string out;
  std::string err;
};

RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options = {});

}  // namespace tidwen::test
