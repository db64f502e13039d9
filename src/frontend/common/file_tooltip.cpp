#include "frontend/common/file_tooltip.h"

#include <ctime>

#include "model/display_text.h"

namespace tidwen::frontend {

namespace {

// "20971520" -> "20,971,520".
std::string Grouped(std::int64_t value) {
  std::string digits = std::to_string(value < 0 ? 0 : value);
  // One char, not ",": GCC 12 warns falsely (-Wrestrict) on inserting a string.
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(static_cast<std::size_t>(at), 1, ',');
  return digits;
}

}  // namespace

std::string ExplorerSize(std::int64_t bytes) {
  if (bytes < 1024) return Grouped(bytes) + " 字节";
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  int unit = 0;
  std::int64_t scale = 1024;
  while (unit < 3 && bytes / scale >= 1024) {
    ++unit;
    scale *= 1024;
  }
  // Tenths of the unit, cut: 1023.99 KB stays 1023.9 KB, never "1024.0 KB".
  const std::int64_t tenths = bytes / (scale / 1024) * 10 / 1024;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[unit] +
         " (" + Grouped(bytes) + " 字节)";
}

std::string LocalTimeText(std::int64_t secondsSince1970) {
  const std::time_t time = static_cast<std::time_t>(secondsSince1970);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &time) != 0) return {};
#else
  if (!localtime_r(&time, &local)) return {};
#endif
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string FileToolTip(std::string_view drivePath, const std::optional<FileFacts>& facts,
                        const std::optional<std::string>& systemPath) {
  if (!facts) return DisplayText(systemPath ? *systemPath : drivePath) + "\n找不到该文件";
  return DisplayText(facts->systemPath) + "\n大小: " + ExplorerSize(facts->size) +
         "\n修改时间: " + LocalTimeText(facts->modified);
}

std::string ResultToolTip(const Platform& platform, std::string_view drivePath) {
  const std::optional<FileFacts> facts = platform.DescribeFile(drivePath);
  return FileToolTip(drivePath, facts, facts ? std::nullopt : platform.SystemPathOf(drivePath));
}

}  // namespace tidwen::frontend
