// The command line's words, parsed: which command, on which target, with
// which types and options. Parsing reads nothing but the words.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <variant>

#include "engine/junk_test.h"
#include "frontend/cli/cli_texts.h"

namespace tidwen::cli {

enum class Command { kDrives, kScan, kClean, kHelp, kVersion };
enum class Format { kText, kCsv, kJson };

struct Options {
  Command command = Command::kHelp;
  JunkTypes types = JunkTypes::All();
  Format format = Format::kText;
  bool yes = false;
  bool dryRun = false;
  std::optional<std::string> report;  // --report FILE
  std::string target;
};

// A word that makes no sense: what to say (kUsage's first line follows).
struct UsageError {
  std::string message;
};

// words: the arguments after the program's name, as UTF-8 (WTF-8 on
// Windows) or bytes.
std::variant<Options, UsageError> ParseArguments(std::span<const std::string> words,
                                                 Language language);

// The types named in a --types value ("*.tmp,*.bak,0字节"), or the first
// name that is none.
std::variant<JunkTypes, std::string> ParseTypes(std::string_view list);

}  // namespace tidwen::cli
