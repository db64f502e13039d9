// Taking drive paths apart: the drive, and the POSIX path below its mount
// point. Shared by the drive table and the platform's file operations.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/drive_table.h"

namespace tidwen {

struct DrivePath {
  const Drive* drive = nullptr;  // points into the table that parsed it
  // The path below the mount point with "/" separators ("a/b/x.tmp"); empty
  // for the drive's root.
  std::string relative;

  // The relative path of the directory holding the entry ("a/b" for
  // "a/b/x.tmp"); empty for an entry of the root. Points into relative.
  std::string_view ParentRelative() const {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string_view()
                                      : std::string_view(relative).substr(0, slash);
  }
};

// Splits "c:\a\b" into its drive and "a/b". nullopt unless the path is a
// letter of a known drive (either case), ":" and "\", followed by names
// separated by single "\": no empty name, no "." or "..", no NUL and no "/"
// (a "/" inside a name would smuggle in separators the checks never saw).
std::optional<DrivePath> ParseDrivePath(const DriveTable& table, std::string_view drivePath);

// The drive path of the directory holding an entry, and the entry's name:
// "c:\a\x" -> {"c:\a", "x"}, "c:\x" -> {"c:\", "x"}. The root "c:\" has no
// name: {"c:\", ""}, and so does anything that is no drive path of a file:
// {path, ""}. The parts are not checked further.
struct ParentAndName {
  std::string_view parent;
  std::string_view name;
};
ParentAndName SplitParent(std::string_view drivePath);

// Whether name can only stand for one entry of a directory: not "." or "..",
// and no "/" or NUL. Empty names are the caller's to rule out.
inline bool IsSingleName(std::string_view name) {
  return name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// Two drive paths name the same place: equal bytes but for the case of the
// drive letter.
bool SameDrivePath(std::string_view a, std::string_view b);

}  // namespace tidwen
