#include "bench_model.h"

#include "rules/junk_rules.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tidwen::bench {

const std::vector<std::string_view> kBenchSuffixes = [] {
  std::vector<std::string_view> suffixes;
  for (int i = 0; i < kZeroLengthType; ++i) suffixes.push_back(kJunkTypes[i].suffix);
  return suffixes;
}();

namespace {

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

int JunkEntryCount(std::string_view name, bool empty) {
  if (empty) return 1;
  int count = 0;
  for (std::string_view suffix : kBenchSuffixes) {
    // A type matches once, whether as listed or upper case.
    if (EndsWith(name, suffix) || EndsWith(name, UpperAscii(suffix))) ++count;
  }
  return count;
}

bool IsListedName(std::string_view name) {
  return !name.empty() && name[0] != '.' && name.find('\\') == std::string_view::npos;
}

std::vector<std::string> FindExpression() {
  // ( ( ( -name *s1 -o -name *S1 ... ) ! -empty ) -o -empty ), grouped as a
  // whole so that an appended action applies to the selection only.
  std::vector<std::string> args = {"-xdev", "-type", "f",      "!", "-name", ".*",
                                   "!",     "-name", "*\\\\*", "(", "(",     "("};
  bool first = true;
  for (std::string_view suffix : kBenchSuffixes) {
    std::string upper = UpperAscii(suffix);
    for (const std::string& form : {std::string(suffix), upper}) {
      if (!first) args.push_back("-o");
      first = false;
      args.push_back("-name");
      args.push_back("*" + form);
      if (upper == suffix) break;
    }
  }
  for (const char* tail : {")", "!", "-empty", ")", "-o", "-empty", ")"}) args.push_back(tail);
  return args;
}

std::string DrivePathToPosix(std::string_view drivePath, std::string_view root) {
  if (drivePath.size() < 4 || (drivePath[0] != 'c' && drivePath[0] != 'C') || drivePath[1] != ':' ||
      drivePath[2] != '\\') {
    return {};
  }
  std::string posix(root);
  posix.push_back('/');
  for (char c : drivePath.substr(3)) posix.push_back(c == '\\' ? '/' : c);
  return posix;
}

std::vector<std::string> SplitNulRecords(std::string_view data) {
  std::vector<std::string> records;
  while (!data.empty()) {
    std::size_t end = data.find('\0');
    if (end == std::string_view::npos) end = data.size();
    records.emplace_back(data.substr(0, end));
    data.remove_prefix(std::min(data.size(), end + 1));
  }
  return records;
}

std::vector<std::string> ExpandFindHits(const std::vector<std::string>& paths) {
  std::vector<std::string> hits;
  hits.reserve(paths.size());
  for (const std::string& path : paths) {
    hits.push_back(path);
    struct stat st {};
    if (EndsWith(path, ".$$$") && lstat(path.c_str(), &st) == 0 && st.st_size > 0) {
      hits.push_back(path);
    }
  }
  return hits;
}

MultisetDiff CompareMultisets(std::vector<std::string> left, std::vector<std::string> right) {
  std::sort(left.begin(), left.end());
  std::sort(right.begin(), right.end());
  MultisetDiff diff;
  std::set_difference(left.begin(), left.end(), right.begin(), right.end(),
                      std::back_inserter(diff.onlyLeft));
  std::set_difference(right.begin(), right.end(), left.begin(), left.end(),
                      std::back_inserter(diff.onlyRight));
  return diff;
}

std::string Printable(std::string_view bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      text.push_back(static_cast<char>(c));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      text += escaped;
    }
  }
  return text;
}

}  // namespace tidwen::bench
