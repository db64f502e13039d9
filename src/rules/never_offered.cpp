#include "rules/never_offered.h"

#include <cstddef>

namespace tidwen {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether a name matches one name of an entry, where "#" takes one or more
// digits.
bool NameMatches(std::string_view pattern, std::string_view name, bool ignoreAsciiCase) {
  std::size_t n = 0;
  for (const char c : pattern) {
    if (c == '#') {
      if (n >= name.size() || !IsDigit(name[n])) return false;
      while (n < name.size() && IsDigit(name[n])) ++n;
      continue;
    }
    if (n >= name.size()) return false;
    const bool same = ignoreAsciiCase ? Lower(c) == Lower(name[n]) : c == name[n];
    if (!same) return false;
    ++n;
  }
  return n == name.size();
}

// Splits off the last of names joined by `separator`.
std::string_view TakeLast(std::string_view& names, char separator) {
  const std::size_t at = names.rfind(separator);
  const std::string_view last = at == std::string_view::npos ? names : names.substr(at + 1);
  names = at == std::string_view::npos ? std::string_view() : names.substr(0, at);
  return last;
}

}  // namespace

bool IsNeverOfferedFile(std::string_view name, bool ignoreAsciiCase) {
  for (const NeverOffered& entry : kNeverOffered) {
    if (entry.match == OfferMatch::kFileName && NameMatches(entry.names, name, ignoreAsciiCase)) {
      return true;
    }
  }
  return false;
}

bool IsNeverOfferedTree(std::string_view parent, std::string_view name, bool ignoreAsciiCase) {
  // The parent's names below its drive: "c:\home\u" holds "home" and "u".
  const std::size_t root = parent.find('\\');
  const std::string_view parentNames =
      root == std::string_view::npos ? std::string_view() : parent.substr(root + 1);
  for (const NeverOffered& entry : kNeverOffered) {
    if (entry.match != OfferMatch::kTree) continue;
    std::string_view patterns = entry.names;
    if (!NameMatches(TakeLast(patterns, '/'), name, ignoreAsciiCase)) continue;
    std::string_view names = parentNames;
    bool matches = true;
    while (matches && !patterns.empty()) {
      matches = !names.empty() &&
                NameMatches(TakeLast(patterns, '/'), TakeLast(names, '\\'), ignoreAsciiCase);
    }
    if (matches) return true;
  }
  return false;
}

}  // namespace tidwen
