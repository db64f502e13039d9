// Runs another program and measures it from fork to exit.
#pragma once

#include <string>
#include <vector>

namespace tidwen::bench {

enum class Output { kDiscard, kCapture };

struct ProcessResult {
  double seconds = 0;     // wall time from before fork to after the wait
  double cpuSeconds = 0;  // the program's user and system CPU time
  int exitCode = -1;      // -1 when the program did not exit normally
  long maxRssKb = 0;      // the process's own peak resident set
  std::string output;     // standard output, when captured
  bool Ok() const { return exitCode == 0; }
};

// Runs argv[0] (a path, not searched) with standard output sent to /dev/null
// or captured; standard error is inherited. A program that cannot be started
// exits with 127.
ProcessResult RunProcess(const std::vector<std::string>& argv, Output output);

// Monotonic wall clock in seconds.
double NowSeconds();

// User and system CPU time this process has used, in seconds.
double CpuSeconds();

// A "VmXxx:  123 kB" figure of /proc/self/status, in kB; 0 if missing.
long ReadStatusKb(const char* key);

// Lowers this process's peak resident set (VmHWM) to its present one, so
// that a later VmHWM is the peak of what ran in between. False when the
// kernel does not allow it; VmHWM then keeps the peak since start.
bool ResetPeakRss();

}  // namespace tidwen::bench
