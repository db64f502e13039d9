// What a benchmark child process reports to its parent on standard output.
#pragma once

#include <cstdint>
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

// The message boxes a child answered: every question (answered Yes), and
// every other box, which can only report a failure.
struct BoxTally {
  std::int64_t questions = 0;
  std::int64_t failures = 0;
  std::string lastQuestion;
  std::string firstFailure;  // the text of the first failure box
};

// Writes the report lines of a deletion of `before` selected entries that
// left `after`: the counts, the questions and whether the last one asked
// about all the entries, the failure boxes, and whether `caption` (Label1's)
// counts the entries left.
void WriteDeletionValues(std::int64_t before, std::int64_t after, const BoxTally& boxes,
                         const std::string& caption);

// Flushes standard output. Returns the child's exit code: 0, or 1 when its
// output could not be written whole.
int FlushOutput();

// Ends a report without records: the empty line, then FlushOutput.
int EndReport();

// Parses a child's standard output; false when it is not a whole report.
bool ParseChildReport(const std::string& output, ChildReport& report);

}  // namespace tidwen::bench
