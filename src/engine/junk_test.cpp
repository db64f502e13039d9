#include "engine/junk_test.h"

namespace tidwen {

namespace {

// ASCII upper case only: the suffixes are ASCII, and the test must not fold
// anything the locale might.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::optional<int> JunkTypeNamed(std::string_view label) {
  for (int type = 0; type < kJunkTypeCount; ++type) {
    if (kJunkTypes[static_cast<std::size_t>(type)].label == label) return type;
  }
  return std::nullopt;
}

bool MatchesJunkSuffix(std::string_view name, int type) {
  const std::string_view suffix = kJunkTypes[static_cast<std::size_t>(type)].suffix;
  if (suffix.empty() || name.size() < suffix.size()) return false;
  const std::string_view tail = name.substr(name.size() - suffix.size());
  if (tail == suffix) return true;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (tail[i] != AsciiUpper(suffix[i])) return false;
  }
  return true;
}

JunkMatches TestJunk(std::string_view name, std::int64_t length, JunkTypes chosen) {
  JunkMatches matches;
  TestJunkFile(
      name, chosen, [length] { return length; }, [&matches](int type) { matches.Add(type); });
  return matches;
}

}  // namespace tidwen
