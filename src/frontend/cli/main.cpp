// tidwen-cli: the junk scan and clean-up of Tidwen's windows, as a command
// line for scripts and schedules (see tidwen-cli(1) and --help).
#include <cstdio>
#include <exception>
#include <memory>
#include <variant>

#include "frontend/cli/cli_commands.h"
#include "frontend/cli/console.h"

#ifndef TIDWEN_CLI_VERSION
#define TIDWEN_CLI_VERSION "?"
#endif

namespace {

int Run(int argc, char** argv) {
  using namespace tidwen::cli;
  PrepareConsole();
  tidwen::StopSignal stop;
  InstallStopHandlers(stop);
  const Language language = UserLanguage();
  Stream out(stdout), err(stderr);
  const std::vector<std::string> words = Arguments(argc, argv);
  const std::variant<Options, UsageError> parsed = ParseArguments(words, language);
  if (const UsageError* error = std::get_if<UsageError>(&parsed)) {
    err.Write("tidwen-cli: " + error->message + "\n");
    err.Write(Text(language, Msg::kUsage));
    err.Flush();
    return kBadUsage;
  }
  const Options& options = std::get<Options>(parsed);
  if (options.command == Command::kHelp) {
    out.Write(Text(language, Msg::kUsage));
    return out.Flush() ? kDone : kNotAllDone;
  }
  if (options.command == Command::kVersion) {
    out.Write("tidwen-cli " TIDWEN_CLI_VERSION "\n");
    return out.Flush() ? kDone : kNotAllDone;
  }

  const Io io{out, err, language, StandardErrorIsTerminal(), stop, ReadAnswer, ResolvedPath};
  const std::unique_ptr<tidwen::Platform> platform = tidwen::MakeSystemPlatform();
  switch (options.command) {
    case Command::kDrives:
      return RunDrives(*platform, io);
    case Command::kScan:
      return RunScan(*platform, options, io);
    default:
      return RunClean(*platform, options, io);
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    // Nothing the commands do throws but for want of memory; said, not
    // left to end the program without a word.
    std::fprintf(stderr, "tidwen-cli: %s\n", error.what());
    return tidwen::cli::kNotAllDone;
  }
}
