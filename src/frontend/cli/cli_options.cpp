#include "frontend/cli/cli_options.h"

#include <string_view>

namespace tidwen::cli {

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string TypeNames() {
  std::string names;
  for (const JunkType& type : kJunkTypes) {
    if (!names.empty()) names += ",";
    names += type.label;
  }
  return names;
}

Options Only(Command command) {
  Options options;
  options.command = command;
  return options;
}

}  // namespace

std::variant<JunkTypes, std::string> ParseTypes(std::string_view list) {
  JunkTypes types;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view name = Trimmed(list.substr(0, comma));
    if (!name.empty()) {
      const std::optional<int> type = JunkTypeNamed(name);
      if (!type) return std::string(name);
      types.Add(*type);
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return types;
}

std::variant<Options, UsageError> ParseArguments(std::span<const std::string> words,
                                                 Language language) {
  const auto error = [language](Msg message, std::initializer_list<std::string_view> args) {
    return UsageError{Fill(Text(language, message), args)};
  };
  Options options;
  for (const std::string& word : words) {
    if (word == "--help" || word == "-h") return Only(Command::kHelp);
    if (word == "--version") return Only(Command::kVersion);
  }
  if (words.empty()) return error(Msg::kUnknownCommand, {""});
  const std::string& command = words[0];
  if (command == "drives") {
    options.command = Command::kDrives;
  } else if (command == "scan") {
    options.command = Command::kScan;
  } else if (command == "clean") {
    options.command = Command::kClean;
  } else if (command == "help") {
    return Only(Command::kHelp);
  } else {
    return error(Msg::kUnknownCommand, {command});
  }

  bool optionsEnd = false;
  bool haveTarget = false;
  for (std::size_t i = 1; i < words.size(); ++i) {
    std::string word = words[i];
    if (!optionsEnd && word == "--") {
      optionsEnd = true;
      continue;
    }
    if (optionsEnd || word.size() < 2 || word[0] != '-') {
      if (options.command == Command::kDrives || haveTarget) {
        return error(Msg::kExtraArgument, {word});
      }
      options.target = word;
      haveTarget = true;
      continue;
    }
    // "--name=value" or "--name value".
    std::optional<std::string> inlineValue;
    if (const std::size_t equals = word.find('='); equals != std::string::npos) {
      inlineValue = word.substr(equals + 1);
      word.resize(equals);
    }
    const bool takesValue = word == "--types" || word == "--format" || word == "--report";
    const bool flag = word == "--yes" || word == "--dry-run";
    if (!takesValue && !flag) return error(Msg::kUnknownOption, {word});
    const bool forScan = word == "--types" || word == "--format";
    const bool forClean = word != "--format";
    if ((options.command == Command::kDrives) || (options.command == Command::kScan && !forScan) ||
        (options.command == Command::kClean && !forClean)) {
      return error(Msg::kOptionNotForCommand, {word, command});
    }
    if (flag) {
      if (inlineValue) return error(Msg::kUnknownOption, {words[i]});
      (word == "--yes" ? options.yes : options.dryRun) = true;
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= words.size()) return error(Msg::kMissingValue, {word});
      inlineValue = words[++i];
    }
    const std::string& value = *inlineValue;
    if (word == "--types") {
      std::variant<JunkTypes, std::string> types = ParseTypes(value);
      if (const std::string* unknown = std::get_if<std::string>(&types)) {
        return error(Msg::kUnknownType, {*unknown, TypeNames()});
      }
      options.types = std::get<JunkTypes>(types);
      if (options.types.Empty()) return error(Msg::kNoTypes, {});
    } else if (word == "--format") {
      if (value == "text") {
        options.format = Format::kText;
      } else if (value == "csv") {
        options.format = Format::kCsv;
      } else if (value == "json") {
        options.format = Format::kJson;
      } else {
        return error(Msg::kUnknownFormat, {value});
      }
    } else {
      if (value.empty()) return error(Msg::kMissingValue, {word});
      options.report = value;
    }
  }
  if (options.command != Command::kDrives && !haveTarget) {
    return error(Msg::kMissingTarget, {command});
  }
  return options;
}

}  // namespace tidwen::cli
