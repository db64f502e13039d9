// The command line's three commands over a platform: the drives, a scan
// and a clean-up, each returning the program's exit code.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "engine/stop_signal.h"
#include "engine/walk.h"
#include "frontend/cli/cli_options.h"
#include "frontend/cli/cli_output.h"
#include "platform/platform.h"

namespace tidwen::cli {

enum ExitCode : int {
  kDone = 0,
  kNotAllDone = 1,  // clean could not delete some files, or the run was cut short
  kBadUsage = 2,
  kUnreachable = 3,  // the target cannot be reached
  kInterrupted = 130,
};

// What the commands talk through.
struct Io {
  Stream& out;
  Stream& err;
  Language language;
  bool progress;  // standard error is a terminal: show how far the work is
  StopSignal& stop;
  // The answer to the question before a deletion; nullopt for none.
  std::function<std::optional<std::string>()> readAnswer;
  // The resolved system path of a path given, or nullopt with why set.
  std::function<std::optional<std::string>(std::string_view, std::string&)> resolve;

  std::string Say(Msg message, std::initializer_list<std::string_view> args = {}) const {
    return Fill(Text(language, message), args);
  }
  // "tidwen-cli: " and a line on standard error.
  void Complain(const std::string& line) const;
};

// A one-line status on standard error while work goes on, when it is a
// terminal: written at most five times a second, wiped at the end.
class ProgressLine {
 public:
  explicit ProgressLine(const Io& io) : io_(io) {}
  // Asks for the line's text when it is time to show it again.
  void Update(const std::function<std::string(double seconds)>& text);
  // A walk's progress: files tested, hits and the rate, every 256 files.
  void Walked(const WalkProgress& p);
  void Wipe();

 private:
  const Io& io_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
  bool shown_ = false;
  std::size_t width_ = 0;
};

// Where a scan starts: a drive's root ("c:\") or a folder on a drive.
struct Target {
  std::string drivePath;
  bool root = true;
};
// The target the user named, checked to be a directory Tidwen can list;
// otherwise the message that says why not (exit kUnreachable).
std::variant<Target, std::string> ResolveTarget(Platform& platform, std::string_view given,
                                                const Io& io);

// What a walk's end says, shared by scan and clean. WalkStartFailed: the
// exit code when the target could not be listed (and a count of the
// directories skipped, said); WalkEnded: the exit code when the output was
// closed (written false), the walk was stopped, or descriptors ran out;
// nullopt when the command goes on.
std::optional<int> WalkStartFailed(const WalkResult& walked, std::string_view target, const Io& io);
std::optional<int> WalkEnded(const WalkResult& walked, bool written, const Io& io);

int RunDrives(Platform& platform, const Io& io);
int RunScan(Platform& platform, const Options& options, const Io& io);
int RunClean(Platform& platform, const Options& options, const Io& io);

}  // namespace tidwen::cli
