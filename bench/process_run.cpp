#include "process_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace tidwen::bench {

double NowSeconds() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double CpuSeconds() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long ReadStatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  std::size_t keyLength = std::strlen(key);
  while (std::getline(status, line)) {
    if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength && line[keyLength] == ':') {
      return std::strtol(line.c_str() + keyLength + 1, nullptr, 10);
    }
  }
  return 0;
}

bool ResetPeakRss() {
  // Writing 5 to clear_refs resets the peak resident set (Linux 4.0 on).
  int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool done = write(fd, "5", 1) == 1;
  close(fd);
  return done;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, Output output) {
  ProcessResult result;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  if (output == Output::kCapture && pipe2(pipeFds, O_CLOEXEC) != 0) return result;
  // Opened before the clock starts, so that both modes time the same work.
  int devNull = output == Output::kDiscard ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;

  double start = NowSeconds();
  pid_t pid = fork();
  if (pid == 0) {
    int target = output == Output::kCapture ? pipeFds[1] : devNull;
    if (target >= 0) dup2(target, STDOUT_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  if (pipeFds[1] >= 0) close(pipeFds[1]);
  if (devNull >= 0) close(devNull);
  if (pid < 0) {
    if (pipeFds[0] >= 0) close(pipeFds[0]);
    return result;
  }
  if (pipeFds[0] >= 0) {
    char buffer[1 << 16];
    while (true) {
      ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      result.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
  }
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.seconds = NowSeconds() - start;
  result.maxRssKb = usage.ru_maxrss;
  result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace tidwen::bench
