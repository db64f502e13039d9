// What a benchmark child process reports to its parent on standard output.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tidwen::bench {

// A child's report: "key value" lines, an empty line, then NUL-terminated
// records.
struct ChildReport {
  std::map<std::string, std::string> values;
  std::vector<std::string> records;

  bool Has(const std::string& key) const { return values.count(key) != 0; }
  double Number(const std::string& key) const;
  std::string Text(const std::string& key) const;
};

// Writes one "key value" line of a report to standard output.
void WriteValue(const char* key, const std::string& value);
template <typename Number>
void WriteValue(const char* key, Number value) {
  WriteValue(key, std::to_string(value));
}

// Parses a child's standard output; false when it is not a whole report.
bool ParseChildReport(const std::string& output, ChildReport& report);

}  // namespace tidwen::bench
