// The command line and the frame shared by the headless and the window
// benchmark: the options both take, a hook for the child modes and options
// each adds, and the run around the benchmarks (trees removed on signals,
// figures printed as they come, the exit code).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace tidwen::bench {

// What both benchmarks take; each program sets its own defaults (files,
// dirs, runs, deleteRuns) before parsing.
struct BenchOptions {
  std::int64_t files = 0;
  std::int64_t dirs = 1;
  std::int64_t specials = -1;  // -1: one per 2000 files
  std::int64_t deleteFiles = 100000;
  std::int64_t deleteDirs = 1000;
  int runs = 1;
  int deleteRuns = 1;
  std::uint64_t seed = 20240611;
  std::string tmp = "/tmp";
  bool scan = true;    // false after --delete-only
  bool remove = true;  // false after --scan-only
  bool keep = false;

  // The symlinks and fifos of the scan tree: --specials, or one per 2000
  // files when it was not given.
  std::int64_t Specials() const { return specials >= 0 ? specials : files / 2000; }
};

// One word of the command line and the word after it, as the hooks see it.
class BenchArg {
 public:
  BenchArg(const char* program, int argc, char** argv, int& index);

  const std::string& Arg() const { return arg_; }
  // The next word; nullptr after the last.
  const char* Value() const { return value_; }
  int Argc() const { return argc_; }
  // Word i of the whole command line, argv[0] being the program.
  const char* Word(int i) const { return argv_[i]; }

  // Reads the next word as a whole number >= minimum into target and steps
  // over it. Without one, says so on standard error and exits with 2.
  void Count(std::int64_t& target, std::int64_t minimum);
  // Steps over the next word and returns it; nullptr after the last.
  const char* Take();

 private:
  const char* program_;
  int argc_;
  char** argv_;
  int& index_;
  std::string arg_;
  const char* value_;
};

// What makes one benchmark program of the shared frame.
struct BenchProgram {
  const char* name = "";  // starts each message on standard error
  void (*usage)(FILE* out) = nullptr;
  // Asked at every word before the options: runs the child mode the word
  // names and returns its exit code, or nullopt when it names none.
  std::function<std::optional<int>(const BenchArg&)> childMode;
  // An option only this program takes: parses it and returns true, or
  // returns false when the word is none. May be empty.
  std::function<bool(BenchArg&)> extraOption = nullptr;
  // The benchmarks, given the parsed options and the program's own path for
  // its children; each returns false when a run could not be made or its
  // results were wrong.
  std::function<bool(const BenchOptions& options, const std::string& self)> scanBenchmark;
  std::function<bool(const BenchOptions& options, const std::string& self)> deleteBenchmark;
};

// Parses argv into options. Returns the exit code when the program ends
// here (a child mode ran, help was asked for, or the words are wrong: usage
// on standard error and 2), or nullopt when the benchmarks are to run. A bad
// number exits at once with 2.
std::optional<int> ParseBenchArgs(int argc, char** argv, BenchOptions& options,
                                  const BenchProgram& program);

// The whole main: parses, checks that find is there (1 if not), and runs the
// benchmarks the options select. Returns 0, or 1 when one was not sound or
// threw.
int RunBenchMain(int argc, char** argv, BenchOptions& options, const BenchProgram& program);

}  // namespace tidwen::bench
