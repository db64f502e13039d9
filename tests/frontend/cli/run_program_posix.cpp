#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "run_program.h"

namespace tidwen::test {

namespace {

void Pipe(int fds[2]) {
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
}

}  // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options) {
  int in[2], out[2], err[2];
  Pipe(in);
  Pipe(out);
  if (options.errorTerminal) {
    if (::openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty");
    }
  } else {
    Pipe(err);
  }
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (options.closedOutput) ::close(out[0]);
  if (options.interruptAfter.empty()) {
    if (!options.input.empty()) {
      [[maybe_unused]] const ssize_t n = ::write(in[1], options.input.data(), options.input.size());
    }
    ::close(in[1]);
  }
  RunResult result;
  bool outOpen = !options.closedOutput, errOpen = true, interrupted = false;
  char buffer[65536];
  while (outOpen || errOpen) {
    pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].revents == 0) continue;
      const ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
      // A pseudo-terminal whose other side is closed reads EIO.
      if (n <= 0) {
        (k == 0 ? outOpen : errOpen) = false;
        continue;
      }
      (k == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
    }
    if (!interrupted && !options.interruptAfter.empty() &&
        result.err.find(options.interruptAfter) != std::string::npos) {
      interrupted = true;
      ::kill(pid, SIGINT);
    }
  }
  if (!options.closedOutput) ::close(out[0]);
  ::close(err[0]);
  if (!options.interruptAfter.empty()) ::close(in[1]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace tidwen::test
