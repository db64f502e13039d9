// The tooltip of a found file, the same in both front ends: where the file
// really is, its size as Explorer gives it, and when it was last written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tidwen::frontend {

// A size as Explorer shows it, then the exact bytes: "512 字节" under 1 KB,
// else KB, MB, GB or TB (1024-based) with one decimal, cut rather than
// rounded, e.g. "20.0 MB (20,971,520 字节)".
std::string ExplorerSize(std::int64_t bytes);

// Seconds since 1970 as the local time "yyyy-MM-dd HH:mm:ss".
std::string LocalTimeText(std::int64_t secondsSince1970);

// The tooltip of a result: the file's real path, size and last write; its
// path and "找不到该文件" when it is gone. Shown text, for the screen.
std::string FileToolTip(std::string_view drivePath, const std::optional<FileFacts>& facts,
                        const std::optional<std::string>& systemPath);

// The same, read from the platform when the tooltip is about to show.
std::string ResultToolTip(const Platform& platform, std::string_view drivePath);

}  // namespace tidwen::frontend
