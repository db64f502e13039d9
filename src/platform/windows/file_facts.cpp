#include "platform/windows/file_facts.h"

#include "platform/windows/win32.h"

#include "platform/windows/win_path.h"
#include "platform/wtf8.h"

namespace tidwen {

std::optional<FileFacts> DescribeWinFile(const std::optional<std::string>& systemPath) {
  if (!systemPath) return std::nullopt;
  std::wstring wide;
  if (const std::optional<WinDrivePath> parsed = ParseWinDrivePath(*systemPath)) {
    wide = parsed->longPath;  // "\\?\c:\...": no length limit, no name rewritten
  } else if (!AppendFromWtf8(*systemPath, wide)) {
    return std::nullopt;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  const auto size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  const auto written = (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime;
  // FILETIME counts 100 ns from 1601; 11644473600 s lie between 1601 and 1970.
  return FileFacts{*systemPath, size, written / 10000000 - 11644473600LL};
}

}  // namespace tidwen
