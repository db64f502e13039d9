// Drive letters for mounted filesystems, and the mapping between drive paths
// ("c:\dir\x.tmp") and POSIX paths ("/dir/x.tmp").
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidwen {

struct Drive {
  char letter = 'c';       // lower case
  std::string mountPoint;  // absolute POSIX path, no trailing "/" but on "/"
  std::string fsType;      // as the mount table gives it; may be empty

  // The drive list's text: letter, colon, and the mount point in brackets,
  // e.g. "c: [/]".
  std::string Text() const;
};

class DriveTable {
 public:
  DriveTable() = default;
  // A table of exactly these drives; tests map c: to a temporary directory.
  explicit DriveTable(std::vector<Drive> drives);

  // c: is "/"; from d: on, in mount-table order, the other mounts that hold
  // files on storage (block-device or network backed, or a known disk
  // filesystem). Pseudo and memory filesystems get no letter.
  // A mount point gets a letter only if it is a directory (a bind-mounted
  // file does not); this form asks the system.
  static DriveTable FromMountInfo(std::string_view mountinfo);
  // The same with the directory test supplied, for mount tables of another
  // machine.
  static DriveTable FromMountInfo(std::string_view mountinfo,
                                  const std::function<bool(const std::string&)>& isDirectory);
  // FromMountInfo over /proc/self/mountinfo.
  static DriveTable FromSystem();

  const std::vector<Drive>& Drives() const { return drives_; }
  // The drive with this letter, either case; nullptr if none.
  const Drive* Find(char letter) const;

  // "c:\a\b" -> "<mount of c:>/a/b"; "c:\" -> the mount point. The drive
  // letter may be either case. nullopt for an unknown drive or a path that is
  // not a drive path. Names keep their bytes.
  std::optional<std::string> ToPosixPath(std::string_view drivePath) const;
  // The drive path of a POSIX path under the drive with the longest matching
  // mount point; nullopt when no drive holds it or a name holds "\" or NUL.
  // Repeated and trailing "/" count for nothing.
  std::optional<std::string> ToDrivePath(std::string_view posixPath) const;

 private:
  std::vector<Drive> drives_;
};

}  // namespace tidwen
