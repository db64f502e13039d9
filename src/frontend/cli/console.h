// What the command line needs of the system it runs on, apart from the
// platform: its words, the user's language, the terminal, Ctrl+C, and the
// answer to a question. console_posix.cpp and console_windows.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/stop_signal.h"
#include "frontend/cli/cli_texts.h"

namespace tidwen::cli {

// Standard output and error take UTF-8 (Windows' console); what is
// written to them is written as it is.
void PrepareConsole();

// The words after the program's name: bytes on Linux, UTF-8 (WTF-8) on
// Windows, whatever the console's code page.
std::vector<std::string> Arguments(int argc, char** argv);

// Chinese where the user's locale is (LC_ALL, LC_MESSAGES or LANG on
// Linux; the user's interface language on Windows), English otherwise.
Language UserLanguage();

bool StandardErrorIsTerminal();

// Ctrl+C (and SIGTERM on Linux) asks stop to stop; a second one ends the
// program at once. A write to a closed pipe fails rather than ending the
// program. stop must live until the program ends.
void InstallStopHandlers(StopSignal& stop);

// One line of standard input, without its end; nullopt at the input's end,
// on a failure, or when Ctrl+C interrupted the wait.
std::optional<std::string> ReadAnswer();

// The absolute path, links resolved, of a path the user gave (relative to
// the working directory), as the system writes it; nullopt with why set
// when there is nothing there.
std::optional<std::string> ResolvedPath(std::string_view given, std::string& why);

}  // namespace tidwen::cli
