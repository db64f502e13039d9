#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "frontend/cli/console.h"

namespace tidwen::cli {

namespace {

// The handler's ways to the program: a signal handler can reach nothing
// else. The pipe wakes a wait for the answer, whenever the signal comes.
StopSignal* g_stop = nullptr;
volatile sig_atomic_t g_signals = 0;
int g_wake[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  if (g_signals > 0) _exit(130);  // asked twice: end now
  g_signals = 1;
  if (g_stop != nullptr) g_stop->Request();
  if (g_wake[1] >= 0) {
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], "!", 1);
    errno = saved;
  }
}

}  // namespace

void PrepareConsole() {}

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

Language UserLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    const std::string_view locale(value);
    return locale.starts_with("zh") ? Language::kChinese : Language::kEnglish;
  }
  return Language::kEnglish;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void InstallStopHandlers(StopSignal& stop) {
  g_stop = &stop;
  if (::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) g_wake[0] = g_wake[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read waiting for the answer returns, interrupted.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

std::optional<std::string> ReadAnswer() {
  std::string line;
  char c;
  while (true) {
    // Ctrl+C may come before the wait begins as well as during it: the
    // pipe holds it until it is seen.
    if (g_stop != nullptr && g_stop->Requested()) return std::nullopt;
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
    if (::poll(fds, g_wake[0] >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (fds[1].revents != 0) return std::nullopt;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 && !line.empty() ? std::optional<std::string>(line) : std::nullopt;
    if (c == '\n') return line;
    line.push_back(c);
  }
}

std::optional<std::string> ResolvedPath(std::string_view given, std::string& why) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::canonical(std::string(given), error);
  if (error) {
    why = error.message();
    return std::nullopt;
  }
  return path.native();
}

}  // namespace tidwen::cli
