#include "bench_report.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "bench_model.h"

namespace tidwen::bench {

double Timings::Best() const {
  return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end());
}

double Timings::Median() const {
  if (seconds.empty()) return 0;
  std::vector<double> sorted = seconds;
  std::sort(sorted.begin(), sorted.end());
  return sorted[sorted.size() / 2];
}

std::string Timings::Runs() const {
  std::string text;
  for (double s : seconds) {
    char one[32];
    std::snprintf(one, sizeof one, "%s%.3f", text.empty() ? "" : " ", s);
    text += one;
  }
  return text;
}

void PrintTime(const char* name, const Timings& timings, const std::string& detail) {
  std::printf("%-12s %7.3f s   median %.3f, runs %s   (%s)\n", name, timings.Best(),
              timings.Median(), timings.Runs().c_str(), detail.c_str());
}

void PrintRatio(const char* name, const Timings& numerator, const Timings& denominator,
                const char* target) {
  if (numerator.seconds.empty() || numerator.seconds.size() != denominator.seconds.size() ||
      denominator.Best() <= 0) {
    std::printf("%-12s    n/a\n", name);
    return;
  }
  Timings perRound;
  for (std::size_t i = 0; i < numerator.seconds.size(); ++i) {
    perRound.seconds.push_back(numerator.seconds[i] / denominator.seconds[i]);
  }
  std::printf("%-12s %7.2f     %-17s (best over best; per-round median %.2f)\n", name,
              numerator.Best() / denominator.Best(), target, perRound.Median());
}

std::vector<std::string> FindCommand(const char* tool, const std::string& root,
                                     const char* action) {
  std::vector<std::string> argv = {tool, root};
  for (std::string& arg : FindExpression()) argv.push_back(std::move(arg));
  argv.push_back(action);
  return argv;
}

std::string Count(std::int64_t n) { return std::to_string(n); }

void PrintDifference(const std::string& side, const std::vector<std::string>& paths) {
  constexpr std::size_t kLimit = 10;
  for (std::size_t i = 0; i < paths.size() && i < kLimit; ++i) {
    std::printf("    %s %s\n", side.c_str(), Printable(paths[i]).c_str());
  }
  if (paths.size() > kLimit) {
    std::printf("    %s ... %zu more\n", side.c_str(), paths.size() - kLimit);
  }
}

bool CheckHits(const std::vector<std::string>& scanEntries, const std::string& root,
               const std::vector<std::string>& findPaths, const char* tool) {
  std::vector<std::string> scanPaths;
  scanPaths.reserve(scanEntries.size());
  for (const std::string& entry : scanEntries) {
    std::string posix = DrivePathToPosix(entry, root);
    scanPaths.push_back(posix.empty() ? "(not a c: path) " + entry : posix);
  }
  std::vector<std::string> findHits = ExpandFindHits(findPaths);
  std::size_t findCount = findHits.size();
  MultisetDiff diff = CompareMultisets(std::move(scanPaths), std::move(findHits));
  if (diff.Same()) {
    std::printf("check        OK: scan and %s agree on %zu hits\n", tool, findCount);
    return true;
  }
  std::printf("check        DIFFERENT: %zu hits only in the scan, %zu only in %s\n",
              diff.onlyLeft.size(), diff.onlyRight.size(), tool);
  PrintDifference("scan only:", diff.onlyLeft);
  PrintDifference(std::string(tool) + " only:", diff.onlyRight);
  return false;
}

bool CheckLeftovers(const char* who, const std::string& root, const TreeStats& stats) {
  DeleteLeftovers left = CountLeftovers(root);
  if (left.junkLeft == 0 && left.keptLeft == stats.keptFiles) return true;
  std::printf("check        %s: %lld junk files left (first %s), %lld of %lld other files left\n",
              who, static_cast<long long>(left.junkLeft), Printable(left.firstJunkLeft).c_str(),
              static_cast<long long>(left.keptLeft), static_cast<long long>(stats.keptFiles));
  return false;
}

bool ParseCount(const char* text, std::int64_t& value, std::int64_t minimum) {
  char* end = nullptr;
  long long parsed = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || parsed < minimum) return false;
  value = parsed;
  return true;
}

std::string SelfPath() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "/proc/self/exe";
  return std::string(path, static_cast<std::size_t>(length));
}

bool Executable(const char* path) { return access(path, X_OK) == 0; }

}  // namespace tidwen::bench
