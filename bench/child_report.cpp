#include "child_report.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "bench_model.h"

namespace tidwen::bench {

double ChildReport::Number(const std::string& key) const {
  auto found = values.find(key);
  return found == values.end() ? 0.0 : std::strtod(found->second.c_str(), nullptr);
}

std::string ChildReport::Text(const std::string& key) const {
  auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

void WriteValue(const char* key, const std::string& value) {
  std::printf("%s %s\n", key, value.c_str());
}

void WriteDeletionValues(std::int64_t before, std::int64_t after, const BoxTally& boxes,
                         const std::string& caption) {
  WriteValue("entries_before", before);
  WriteValue("entries_after", after);
  WriteValue("questions", boxes.questions);
  WriteValue("question_ok",
             boxes.lastQuestion == "确实要删除这" + std::to_string(before) + "项吗？" ? 1 : 0);
  WriteValue("failures", boxes.failures);
  WriteValue("first_failure", Printable(boxes.firstFailure));
  WriteValue("caption_ok", caption == "还剩下 " + std::to_string(after) + "个垃圾文件" ? 1 : 0);
}

int FlushOutput() { return std::fflush(stdout) == 0 ? 0 : 1; }

int EndReport() {
  std::printf("\n");
  return FlushOutput();
}

bool ParseChildReport(const std::string& output, ChildReport& report) {
  std::size_t pos = 0;
  while (true) {
    std::size_t end = output.find('\n', pos);
    if (end == std::string::npos) return false;
    if (end == pos) {
      report.records = SplitNulRecords(std::string_view(output).substr(end + 1));
      return true;
    }
    std::string line = output.substr(pos, end - pos);
    std::size_t blank = line.find(' ');
    if (blank == std::string::npos) return false;
    report.values[line.substr(0, blank)] = line.substr(blank + 1);
    pos = end + 1;
  }
}

}  // namespace tidwen::bench
