#include "bench_main.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "bench_report.h"
#include "bench_tree.h"

namespace tidwen::bench {

BenchArg::BenchArg(const char* program, int argc, char** argv, int& index)
    : program_(program),
      argc_(argc),
      argv_(argv),
      index_(index),
      arg_(argv[index]),
      value_(index + 1 < argc ? argv[index + 1] : nullptr) {}

void BenchArg::Count(std::int64_t& target, std::int64_t minimum) {
  if (value_ == nullptr || !ParseCount(value_, target, minimum)) {
    std::fprintf(stderr, "%s: %s needs a number >= %lld\n", program_, arg_.c_str(),
                 static_cast<long long>(minimum));
    std::exit(2);
  }
  ++index_;
}

const char* BenchArg::Take() {
  if (value_ != nullptr) ++index_;
  return value_;
}

std::optional<int> ParseBenchArgs(int argc, char** argv, BenchOptions& options,
                                  const BenchProgram& program) {
  for (int i = 1; i < argc; ++i) {
    BenchArg word(program.name, argc, argv, i);
    const std::string& arg = word.Arg();
    std::int64_t number = 0;
    if (program.childMode) {
      if (std::optional<int> code = program.childMode(word)) return code;
    }
    if (program.extraOption && program.extraOption(word)) continue;
    if (arg == "--files") {
      word.Count(options.files, 0);
    } else if (arg == "--dirs") {
      word.Count(options.dirs, 1);
    } else if (arg == "--specials") {
      word.Count(options.specials, 0);
    } else if (arg == "--delete-files") {
      word.Count(options.deleteFiles, 0);
    } else if (arg == "--delete-dirs") {
      word.Count(options.deleteDirs, 1);
    } else if (arg == "--runs") {
      word.Count(number, 1);
      options.runs = static_cast<int>(std::min<std::int64_t>(number, 100));
    } else if (arg == "--delete-runs") {
      word.Count(number, 1);
      options.deleteRuns = static_cast<int>(std::min<std::int64_t>(number, 100));
    } else if (arg == "--seed") {
      word.Count(number, 0);
      options.seed = static_cast<std::uint64_t>(number);
    } else if (arg == "--tmp" && word.Value() != nullptr) {
      options.tmp = word.Value();
      ++i;
    } else if (arg == "--scan-only") {
      options.remove = false;
    } else if (arg == "--delete-only") {
      options.scan = false;
    } else if (arg == "--keep") {
      options.keep = true;
    } else if (arg == "--help" || arg == "-h") {
      program.usage(stdout);
      return 0;
    } else {
      program.usage(stderr);
      return 2;
    }
  }
  return std::nullopt;
}

int RunBenchMain(int argc, char** argv, BenchOptions& options, const BenchProgram& program) {
  if (std::optional<int> code = ParseBenchArgs(argc, argv, options, program)) return *code;
  if (!Executable(kFind)) {
    std::fprintf(stderr, "%s: %s is needed\n", program.name, kFind);
    return 1;
  }

  // Figures appear as they are measured, also when piped to a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RemoveTreesOnSignals();
  std::string self = SelfPath();
  bool sound = true;
  try {
    if (options.scan) sound = program.scanBenchmark(options, self) && sound;
    if (options.scan && options.remove) std::printf("\n");
    if (options.remove) sound = program.deleteBenchmark(options, self) && sound;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", program.name, e.what());
    return 1;
  }
  std::fflush(stdout);
  return sound ? 0 : 1;
}

}  // namespace tidwen::bench
