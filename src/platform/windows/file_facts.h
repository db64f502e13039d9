// What the system says of one file of a Windows path.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace tidwen {

// Size and last write of the file at a system path ("C:\a\b.tmp"), read
// from its own directory entry, so that a link at the end is described
// itself; nullopt for no path or no such file.
std::optional<FileFacts> DescribeWinFile(const std::optional<std::string>& systemPath);

}  // namespace tidwen
